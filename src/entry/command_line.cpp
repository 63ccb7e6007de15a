#include "entry/command_line.h"

static bool Separates(char character, bool quoted)
{
    return character == '\0' || (!quoted && (character == ' ' || character == '\t'));
}

int SplitCommandLine(const char* line, char* text, char** arguments)
{
    // The program's name is a path: quotes group, backslashes are plain.
    int count = 0;
    bool quoted = false;
    arguments[count++] = text;
    for (; !Separates(*line, quoted); line++) {
        if (*line == '"')
            quoted = !quoted;
        else
            *text++ = *line;
    }
    *text++ = '\0';

    for (;;) {
        while (*line == ' ' || *line == '\t')
            line++;
        if (*line == '\0')
            break;
        arguments[count++] = text;
        quoted = false;
        while (!Separates(*line, quoted)) {
            int backslashes = 0;
            for (; *line == '\\'; line++)
                backslashes++;
            if (*line != '"') {
                for (; backslashes > 0; backslashes--)
                    *text++ = '\\';
                if (!Separates(*line, quoted))
                    *text++ = *line++;
                continue;
            }
            // Backslashes before a quote halve; an odd one left over makes the quote a character.
            for (; backslashes > 1; backslashes -= 2)
                *text++ = '\\';
            if (backslashes == 1) {
                *text++ = '"';
                line++;
            } else if (quoted && line[1] == '"') {
                // Two quotes inside quotes are one quote character, and the quotes go on.
                *text++ = '"';
                line += 2;
            } else {
                quoted = !quoted;
                line++;
            }
        }
        *text++ = '\0';
    }
    arguments[count] = nullptr;
    return count;
}
