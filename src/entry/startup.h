#pragma once

// The whole program: start-up, the optional console-mode run and the dispatcher. Returns the exit code.
int ServiceProgram(int argumentCount, char** arguments);
