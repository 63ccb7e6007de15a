#include "supervision/output_event.h"

#include "eventlog/events.h"

void ReportToolOutput(OutputCapture* capture)
{
    const char* lines[MaxOutputLines];
    WORD count = CutLines(capture->buffer, capture->received, lines);
    WriteErrorEvent(EVENT_TOOL_OUTPUT, count, count > 0 ? lines : NULL);
}
