#pragma once

// Splits a command line into arguments by the rules of Microsoft's C runtime. TEXT receives the arguments'
// characters and holds strlen(line) + 1 of them; ARGUMENTS receives a pointer to each and a NULL after the
// last, and holds strlen(line) / 2 + 2. Returns the number of arguments, the program's name the first.
int SplitCommandLine(const char* line, char* text, char** arguments);
