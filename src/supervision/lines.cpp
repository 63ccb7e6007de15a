#include "supervision/lines.h"

WORD CutLines(char (&buffer)[CaptureBufferSize], DWORD received, const char* (&lines)[MaxOutputLines])
{
    if (received > CaptureLimit)
        received = CaptureLimit;
    buffer[received] = '\r';
    buffer[received + 1] = '\n';
    WORD count = 0;
    DWORD start = 0;
    for (DWORD i = 0; i < received + 2; ++i) {
        if (buffer[i] != '\r' && buffer[i] != '\n')
            continue;
        buffer[i] = '\0';
        if (buffer[start] != '\0')
            lines[count++] = &buffer[start];
        start = i + 1;
    }
    return count;
}
