#pragma once

#include "supervision/capture.h"

// One event with a line of the tool's output per insertion string; none when no line was kept.
void ReportToolOutput(OutputCapture* capture);
