// Prints the version resource of a file as the shell's properties dialog reads it, one name=value per
// line: the fixed file and product versions, the file type, then the US English strings.
//   version_info FILE
#include <windows.h>

#include <stdio.h>

#include <vector>

int main(int argc, char** argv)
{
    if (argc != 2) {
        fprintf(stderr, "usage: version_info FILE\n");
        return 3;
    }
    DWORD ignored = 0;
    DWORD size = GetFileVersionInfoSizeA(argv[1], &ignored);
    if (size == 0) {
        printf("error=%lu call=GetFileVersionInfoSize\n", GetLastError());
        return 2;
    }
    std::vector<char> data(size);
    if (!GetFileVersionInfoA(argv[1], 0, size, data.data())) {
        printf("error=%lu call=GetFileVersionInfo\n", GetLastError());
        return 2;
    }

    VS_FIXEDFILEINFO* fixed = NULL;
    UINT length = 0;
    if (!VerQueryValueA(data.data(), "\\", reinterpret_cast<void**>(&fixed), &length) || length < sizeof *fixed) {
        printf("error=missing call=VerQueryValue(\\)\n");
        return 2;
    }
    printf("file_version=%u.%u.%u.%u\n", HIWORD(fixed->dwFileVersionMS), LOWORD(fixed->dwFileVersionMS),
           HIWORD(fixed->dwFileVersionLS), LOWORD(fixed->dwFileVersionLS));
    printf("product_version=%u.%u.%u.%u\n", HIWORD(fixed->dwProductVersionMS), LOWORD(fixed->dwProductVersionMS),
           HIWORD(fixed->dwProductVersionLS), LOWORD(fixed->dwProductVersionLS));
    printf("file_type=%s\n", fixed->dwFileType == VFT_APP ? "app" : fixed->dwFileType == VFT_DLL ? "dll" : "other");

    // The strings are looked up under the language and code page that the file itself lists first.
    WORD* translation = NULL;
    if (!VerQueryValueA(data.data(), "\\VarFileInfo\\Translation", reinterpret_cast<void**>(&translation), &length) ||
        length < 2 * sizeof(WORD)) {
        printf("error=missing call=VerQueryValue(Translation)\n");
        return 2;
    }
    printf("translation=%04x%04x\n", translation[0], translation[1]);
    for (const char* name : {"CompanyName", "FileDescription", "FileVersion", "InternalName", "OriginalFilename",
                             "ProductName", "ProductVersion"}) {
        char path[96];
        snprintf(path, sizeof path, "\\StringFileInfo\\%04x%04x\\%s", translation[0], translation[1], name);
        char* value = NULL;
        if (VerQueryValueA(data.data(), path, reinterpret_cast<void**>(&value), &length) && value)
            printf("%s=%s\n", name, value);
        else
            printf("%s (missing)\n", name);
    }
    return 0;
}
