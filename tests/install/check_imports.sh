#!/usr/bin/env bash
# The shipped binaries run on a bare Windows: zonbeksvc.exe imports only Windows system DLLs, and
# zonbekmsg.dll, which Event Viewer loads as data, holds resources and runs nothing (no imports, no
# entry point); the MSI's custom action zonbekstate.dll, which msiexec loads, has no runtime: no entry
# point, and imports only what it calls.
set -euo pipefail
here=$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)
build=${ZONBEK_WINDOWS_BUILD:-$here/../../build/windows}
objdump=${ZONBEK_OBJDUMP:-x86_64-w64-mingw32-objdump}
fail() { printf '[check_imports] FAILED: %s\n' "$*" >&2; exit 1; }

command -v "$objdump" >/dev/null || fail "$objdump is not installed (binutils-mingw-w64-x86-64)"
for binary in zonbeksvc.exe zonbekmsg.dll zonbekstate.dll; do
    [[ -f $build/$binary ]] || fail "$build/$binary is missing: build the windows preset first"
done

imports() { "$objdump" -p "$1" | sed -n 's/^[[:space:]]*DLL Name: //p' | tr '[:upper:]' '[:lower:]' | sort; }

exe_imports=$(imports "$build/zonbeksvc.exe")
grep -qx kernel32.dll <<<"$exe_imports" || fail "no KERNEL32.dll among zonbeksvc.exe's imports: objdump's output was not understood"
system_dlls='^(kernel32|advapi32|msvcrt|user32|ntdll|ws2_32|shell32|ole32)\.dll$'
others=$(grep -Ev "$system_dlls" <<<"$exe_imports" || true)
[[ -z $others ]] || fail "zonbeksvc.exe imports DLLs that Windows does not have: $others"

dll_header=$("$objdump" -p "$build/zonbekmsg.dll")
dll_imports=$(imports "$build/zonbekmsg.dll")
[[ -z $dll_imports ]] || fail "zonbekmsg.dll imports $(tr '\n' ' ' <<<"$dll_imports")"
grep -q '^AddressOfEntryPoint[[:space:]]*0*$' <<<"$dll_header" ||
    fail "zonbekmsg.dll has an entry point: $(grep AddressOfEntryPoint <<<"$dll_header")"
sections=$("$objdump" -h "$build/zonbekmsg.dll" | awk '$1 ~ /^[0-9]+$/ { print $2 }' | sort | tr '\n' ' ')
grep -qw .rsrc <<<"$sections" || fail "zonbekmsg.dll has no resource section (sections: $sections)"
action_imports=$(imports "$build/zonbekstate.dll" | tr '\n' ' ')
[[ $action_imports == "advapi32.dll kernel32.dll msi.dll " ]] || fail "zonbekstate.dll imports $action_imports"
grep -q '^AddressOfEntryPoint[[:space:]]*0*$' <("$objdump" -p "$build/zonbekstate.dll") ||
    fail "zonbekstate.dll has an entry point"
echo "[check_imports] zonbeksvc.exe imports: $(tr '\n' ' ' <<<"$exe_imports"); zonbekmsg.dll: none, sections $sections; zonbekstate.dll: $action_imports"
