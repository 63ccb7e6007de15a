#include "supervision/lines.h"

#include <string.h>

#include <algorithm>

#include "eventlog/events.h"

void KeepOutput(char (&buffer)[CaptureBufferSize], ULONGLONG* received, const char* data, DWORD count)
{
    if (count > CaptureLimit) {
        *received += count - CaptureLimit;
        data += count - CaptureLimit;
        count = CaptureLimit;
    }
    DWORD at = static_cast<DWORD>(*received % CaptureLimit);
    DWORD first = std::min(count, CaptureLimit - at);
    memcpy(buffer + at, data, first);
    memcpy(buffer, data + first, count - first);
    *received += count;
}

WORD CutLines(char (&buffer)[CaptureBufferSize], ULONGLONG received, const char* (&lines)[MaxOutputLines])
{
    DWORD kept = CaptureLimit;
    if (received > CaptureLimit)
        std::rotate(buffer, buffer + received % CaptureLimit, buffer + CaptureLimit);
    else
        kept = static_cast<DWORD>(received);
    buffer[kept] = '\r';
    buffer[kept + 1] = '\n';
    WORD count = 0;
    DWORD start = 0;
    for (DWORD i = 0; i < kept + 2; ++i) {
        if (buffer[i] != '\r' && buffer[i] != '\n')
            continue;
        buffer[i] = '\0';
        if (buffer[start] != '\0')
            lines[count++] = &buffer[start];
        start = i + 1;
    }
    return count;
}

void ReportToolOutput(OutputCapture* capture)
{
    const char* lines[MaxOutputLines];
    WORD count = CutLines(capture->buffer, capture->received, lines);
    WriteErrorEvent(EVENT_TOOL_OUTPUT, count, count > 0 ? lines : NULL);
}
