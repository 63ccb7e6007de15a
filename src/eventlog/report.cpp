#include "eventlog/events.h"

HANDLE EventSourceHandle = NULL;

namespace {

// Appends source to the text of that length, as much as fits before the terminator's place.
size_t AppendCut(char (&text)[FailureTextSize], size_t length, const char* source)
{
    while (*source != '\0' && length < FailureTextSize - 1)
        text[length++] = *source++;
    return length;
}

} // namespace

void OpenEventSource()
{
    EventSourceHandle = RegisterEventSourceA(NULL, EventSourceName);
}

// Composed by hand: snprintf would link MinGW's printf and floating-point formatting, over half the exe.
void FormatFailureText(char (&text)[FailureTextSize], const char* operation, DWORD lastError)
{
    char number[sizeof "-2147483648"];
    char* first = number + sizeof number;
    *--first = '\0';
    bool negative = static_cast<LONG>(lastError) < 0;
    DWORD magnitude = negative ? 0 - lastError : lastError;
    do {
        *--first = static_cast<char>('0' + magnitude % 10);
        magnitude /= 10;
    } while (magnitude != 0);
    if (negative)
        *--first = '-';

    // Cutting a long text short is wanted; the result is always terminated.
    size_t length = AppendCut(text, 0, operation);
    length = AppendCut(text, length, " failed with ");
    length = AppendCut(text, length, first);
    text[length] = '\0';
}

BOOL WriteErrorEvent(DWORD eventId, WORD count, const char** strings)
{
    return ReportEventA(EventSourceHandle, EVENTLOG_ERROR_TYPE, 0, eventId, NULL, count, 0, strings, NULL);
}

BOOL WriteWarningEvent(DWORD eventId, WORD count, const char** strings)
{
    return ReportEventA(EventSourceHandle, EVENTLOG_WARNING_TYPE, 0, eventId, NULL, count, 0, strings, NULL);
}

BOOL ReportFailureEvent(DWORD eventId, const char* operation)
{
    // The last error belongs to the failed call; take it before anything else can change it.
    DWORD lastError = GetLastError();
    char text[FailureTextSize];
    FormatFailureText(text, operation, lastError);
    const char* strings[] = {EventSourceName, text};
    return WriteErrorEvent(eventId, 2, strings);
}

BOOL ReportStartFailureEvent(const char* operation, const char* toolPath, const char* commandLine,
                             const char* workingDirectory)
{
    DWORD lastError = GetLastError();
    char text[FailureTextSize];
    FormatFailureText(text, operation, lastError);
    const char* strings[] = {EventSourceName, text, toolPath, commandLine, workingDirectory};
    return WriteErrorEvent(EVENT_TOOL_START_FAILURE, 5, strings);
}
