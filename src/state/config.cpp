#include "state/config.h"

#include <stdlib.h>
#include <string.h>

const char* ToolPath = "";
const char* WorkingDirectory = "";

static char* OwnedToolPath = NULL;
static char* OwnedWorkingDirectory = NULL;

static const char InstallKey[] = "Software\\Kavix\\Zonbek";
static const char InstallValue[] = "InstallDir";
static const char ToolFileName[] = "zonbek.exe";
static const char ToolFolderCheckValue[] = "ToolFolderCheck";
static const char ToolFolderTrustValue[] = "ToolFolderTrust";

// The value as a string of its own (free it), with zeros after it: a value stored without its
// terminators keeps all its characters. Null when the value is missing, of another type, or changed
// its size between the queries.
static char* QueryValue(const char* name, DWORD wantedType, size_t zeros)
{
    HKEY key = NULL;
    if (RegOpenKeyA(HKEY_LOCAL_MACHINE, InstallKey, &key) != ERROR_SUCCESS)
        return NULL;
    DWORD type = 0;
    DWORD size = 0;
    char* value = NULL;
    if (RegQueryValueExA(key, name, NULL, &type, NULL, &size) == ERROR_SUCCESS && type == wantedType)
        value = static_cast<char*>(calloc(static_cast<size_t>(size) + zeros, 1));
    DWORD reported = size;
    if (value != NULL
        && (RegQueryValueExA(key, name, NULL, NULL, reinterpret_cast<BYTE*>(value), &reported) != ERROR_SUCCESS
            || reported != size)) {
        free(value);
        value = NULL;
    }
    RegCloseKey(key);
    return value;
}

char* LookupInstallDir()
{
    return QueryValue(InstallValue, REG_SZ, 1);
}

char* LookupToolFolderTrust()
{
    return QueryValue(ToolFolderTrustValue, REG_MULTI_SZ, 2);
}

bool ComposePaths(const char* installDir)
{
    size_t length = strlen(installDir);
    size_t toolPathSize = length + 1 + sizeof ToolFileName;
    char* workingDirectory = static_cast<char*>(malloc(length + 1));
    char* toolPath = static_cast<char*>(malloc(toolPathSize));
    if (workingDirectory == NULL || toolPath == NULL) {
        free(workingDirectory);
        free(toolPath);
        return false;
    }
    memcpy(workingDirectory, installDir, length + 1);
    // Exactly one backslash, whatever the directory ends with: nothing is normalised.
    memcpy(toolPath, installDir, length + 1);
    toolPath[length] = '\\';
    memcpy(toolPath + length + 1, ToolFileName, sizeof ToolFileName);

    // Start-up composes once per process; releasing an earlier pair keeps repeated start-ups clean.
    free(OwnedToolPath);
    free(OwnedWorkingDirectory);
    ToolPath = OwnedToolPath = toolPath;
    WorkingDirectory = OwnedWorkingDirectory = workingDirectory;
    return true;
}

bool IsToolFolderCheckOff()
{
    HKEY key = NULL;
    if (RegOpenKeyA(HKEY_LOCAL_MACHINE, InstallKey, &key) != ERROR_SUCCESS)
        return false;
    DWORD type = 0;
    DWORD value = 1;
    DWORD size = sizeof value;
    LONG result = RegQueryValueExA(key, ToolFolderCheckValue, NULL, &type, reinterpret_cast<BYTE*>(&value), &size);
    RegCloseKey(key);
    return result == ERROR_SUCCESS && type == REG_DWORD && size == sizeof value && value == 0;
}
