#include "trust/account.h"

#include <sddl.h>
#include <stdio.h>

static char* AccountSid = NULL;
static SECURITY_ATTRIBUTES PipeSecurity = {sizeof PipeSecurity, NULL, FALSE};

const char* ServiceAccountSid()
{
    HANDLE token = NULL;
    if (AccountSid != NULL || !OpenProcessToken(GetCurrentProcess(), TOKEN_QUERY, &token))
        return AccountSid;
    alignas(TOKEN_USER) BYTE buffer[sizeof(TOKEN_USER) + SECURITY_MAX_SID_SIZE];
    DWORD size = 0;
    if (GetTokenInformation(token, TokenUser, buffer, sizeof buffer, &size))
        ConvertSidToStringSidA(reinterpret_cast<TOKEN_USER*>(buffer)->User.Sid, &AccountSid);
    DWORD error = GetLastError();
    CloseHandle(token);
    SetLastError(error);
    return AccountSid;
}

SECURITY_ATTRIBUTES* OwnPipeSecurity()
{
    if (PipeSecurity.lpSecurityDescriptor != NULL)
        return &PipeSecurity;
    const char* account = ServiceAccountSid();
    if (account == NULL)
        return NULL;
    // Windows' default would let Everyone and Anonymous open it for reading.
    char text[256];
    _snprintf(text, sizeof text, "D:(A;;FA;;;SY)(A;;FA;;;%s)", account);
    text[sizeof text - 1] = '\0';
    if (!ConvertStringSecurityDescriptorToSecurityDescriptorA(text, SDDL_REVISION_1, &PipeSecurity.lpSecurityDescriptor,
                                                              NULL))
        return NULL;
    return &PipeSecurity;
}
