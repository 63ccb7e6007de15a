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

static char* QueryInstallDir(HKEY key)
{
    DWORD type = 0;
    DWORD size = 0;
    if (RegQueryValueExA(key, InstallValue, NULL, &type, NULL, &size) != ERROR_SUCCESS || type != REG_SZ)
        return NULL;
    // One byte more than the value, always zero: a value stored without a terminator keeps all its
    // characters, and one stored with several ends at the first.
    char* value = static_cast<char*>(calloc(static_cast<size_t>(size) + 1, 1));
    if (value == NULL)
        return NULL;
    DWORD reported = size;
    if (RegQueryValueExA(key, InstallValue, NULL, NULL, reinterpret_cast<BYTE*>(value), &reported) != ERROR_SUCCESS
        || reported != size) {
        free(value);
        return NULL;
    }
    return value;
}

char* LookupInstallDir()
{
    HKEY key = NULL;
    if (RegOpenKeyA(HKEY_LOCAL_MACHINE, InstallKey, &key) != ERROR_SUCCESS)
        return NULL;
    char* value = QueryInstallDir(key);
    RegCloseKey(key);
    return value;
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
