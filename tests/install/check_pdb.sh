#!/usr/bin/env bash
# zonbeksvc.exe ships without debug sections, and its debug directory names zonbeksvc.pdb with the
# signature and age of the PDB built beside it, which holds the service's own routines: what a Windows
# debugger needs to put names on a crash dump.
set -euo pipefail
here=$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)
build=${ZONBEK_WINDOWS_BUILD:-$here/../../build/windows}
objdump=${ZONBEK_OBJDUMP:-x86_64-w64-mingw32-objdump}
pdbutil=${ZONBEK_PDBUTIL:-llvm-pdbutil-19}
fail() { printf '[check_pdb] FAILED: %s\n' "$*" >&2; exit 1; }

command -v "$pdbutil" >/dev/null || fail "$pdbutil is not installed (Debian's llvm-19)"
exe=$build/zonbeksvc.exe
pdb=$build/zonbeksvc.pdb
[[ -f $exe && -f $pdb ]] || fail "$exe and $pdb are missing: build the windows preset first"

sections=$("$objdump" -h "$exe" | awk '$1 ~ /^[0-9]+$/ { print $2 }' | tr '\n' ' ')
[[ $sections == *.text* ]] || fail "objdump's section list was not understood: $sections"
[[ $sections != *.debug_* ]] || fail "zonbeksvc.exe still has debug sections: $sections"

# The exe's CodeView record: "(format RSDS signature <32 hex digits> age <n> pdb <name>)".
record=$("$objdump" -p "$exe" | sed -n 's/.*(format RSDS signature \([0-9a-f]*\) age \([0-9]*\) pdb \(.*\))$/\1 \2 \3/p')
read -r signature age name <<<"$record"
[[ $name == zonbeksvc.pdb ]] || fail "the exe's debug directory names [$name], not zonbeksvc.pdb (a build path?)"

summary=$("$pdbutil" dump -summary "$pdb")
guid=$(sed -n 's/^ *GUID: {\(.*\)}$/\1/p' <<<"$summary" | tr -d '-' | tr '[:upper:]' '[:lower:]')
pdb_age=$(sed -n 's/^ *Age: //p' <<<"$summary")
# Both tools print the GUID's sixteen bytes in the order they are stored.
[[ -n $guid && $signature == "$guid" && $age == "$pdb_age" ]] ||
    fail "the exe asks for PDB $signature age $age, the PDB is [$guid] age [$pdb_age]"

procedures=$("$pdbutil" dump -symbols "$pdb" | sed -n 's/.*S_GPROC32 .*`\(.*\)`$/\1/p')
for routine in ServiceMain ServiceCtrlHandler RunCycles LaunchTool ReportFailureEvent; do
    grep -qx "$routine" <<<"$procedures" || fail "the PDB has no procedure $routine"
done
echo "[check_pdb] zonbeksvc.exe -> zonbeksvc.pdb {$guid} age $age; sections $sections"
