// Stands in for net.exe in a Wine prefix: answers every command as "net session" does on Windows
// without an elevated token, so that the scripts' administrator check can be seen to refuse.
#include <stdio.h>

int main()
{
    fputs("System error 5 has occurred.\n\nAccess is denied.\n\n", stdout);
    return 2;
}
