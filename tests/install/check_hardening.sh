#!/usr/bin/env bash
# zonbeksvc.exe has what binary analysers ask of a Windows service, read back from the exe and its PDB:
# ASLR with high entropy and DEP (DYNAMICBASE, HIGHENTROPYVA, NXCOMPAT); Control Flow Guard (GUARD_CF and
# a load configuration whose table of call targets holds every code address the image hands out, so
# that Windows can enforce it, and not the stub that the dispatch pointer starts with); CET shadow-stack
# compatibility; a security cookie, left at the value the loader replaces, that the stack protector
# checks, with a call to the fast fail that a smashed stack takes; SHA-256 hashes of the service's sources
# in the PDB. zonbekstate.dll, the MSI's custom actions, which msiexec runs, has the same but the source
# hashes (it has no PDB). zonbekmsg.dll holds resources only: with no code, the guard, CET, the cookie and
# source hashes do not apply to it; it keeps ASLR and DEP and must stay without executable sections.
set -euo pipefail
here=$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)
build=${ZONBEK_WINDOWS_BUILD:-$here/../../build/windows}
readobj=${ZONBEK_READOBJ:-llvm-readobj-19}
pdbutil=${ZONBEK_PDBUTIL:-llvm-pdbutil-19}
objdump=${ZONBEK_LLVM_OBJDUMP:-llvm-objdump-19}
fail() { printf '[check_hardening] FAILED: %s\n' "$*" >&2; exit 1; }

for tool in "$readobj" "$pdbutil" "$objdump"; do
    command -v "$tool" >/dev/null || fail "$tool is not installed (Debian's llvm-19)"
done
exe=$build/zonbeksvc.exe
pdb=$build/zonbeksvc.pdb
dll=$build/zonbekmsg.dll
state=$build/zonbekstate.dll
[[ -f $exe && -f $pdb && -f $dll && -f $state ]] || fail "$exe, $pdb, $dll or $state is missing: build the windows preset first"

# field NAME: a number of the load configuration, 0 when it is absent.
field() { printf '%d' "$(sed -n "s/^  $1: \(0x[0-9A-Fa-f]*\|[0-9]*\).*/\1/p" <<<"$load_config" | head -n 1)"; }
# guarded FILE: with the guard enforced, every code address that FILE hands out is a valid call target,
# and the stub that the dispatch pointer holds until Windows replaces it is not. Windows marks two bits per
# 16-byte slot: one for the aligned address, one for the other fifteen, which an unaligned table entry sets
# together with the first. So an address is valid when the table holds it, or holds an unaligned address
# of its slot. Names every address that breaks the rule, with why it must (not) be valid.
guarded() {
    local problems
    problems=$({
        "$readobj" --sections "$1" | awk '
            $1 == "VirtualSize:" { size = $2 } $1 == "VirtualAddress:" { rva = $2 }
            $1 == "PointerToRawData:" { raw = $2 }
            $1 == "IMAGE_SCN_MEM_EXECUTE" { executable = 1 }
            $1 == "}" && raw != "" { print "S", rva, size, raw, executable + 0; raw = ""; executable = 0 }'
        sed 's/^  /T /' <<<"$targets" | grep -v '[][]'
        echo "D $(field GuardCFCheckDispatch) $image_base"
        "$readobj" --coff-basereloc "$1" | awk '$2 == "DIR64" { getline; print "R", $2 }'
        "$readobj" --coff-tls-directory "$1" | sed -n 's/^  AddressOfCallBacks: /C /p'
        sed -n '/^Export {/,/^}/{s/^  Name: /N /p;s/^  RVA: /E /p}' <<<"$headers"
        sed -n 's/^ *\([0-9a-f]*\):.*lea.*(%rip).*# \(0x[0-9a-f]*\).*/L 0x\1 \2/p' <<<"$code"
        od -An -v -tx1 "$1" | sed 's/^/B/'
    } | awk -f "$here/guard_table.awk")
    [[ -z $problems ]] || fail "$(basename "$1") breaks Control Flow Guard:"$'\n'"$problems"
}
# hardened FILE: FILE has ASLR, DEP, CET and the guard with its table (guarded), and a security cookie left
# at the value that the loader replaces, and a call to the fast fail that a smashed stack takes. Sets headers,
# load_config, flags, image_base, targets (the table of call targets), sections (its sections as
# "RVA FILE-OFFSET" lines, in order: the PDB counts them from 1), cookie (its RVA) and code.
hardened() {
    local name flag offset value
    name=$(basename "$1")
    headers=$("$readobj" --file-headers --coff-load-config --coff-debug-directory --coff-exports "$1")
    for flag in DYNAMIC_BASE HIGH_ENTROPY_VA NX_COMPAT GUARD_CF EX_CET_COMPAT; do
        grep -q "IMAGE_DLL_CHARACTERISTICS_$flag " <<<"$headers" || fail "$name lacks ${flag#EX_}"
    done
    load_config=$(sed -n '/^LoadConfig \[/,/^\]/p' <<<"$headers")
    flags=$(sed -n 's/^  GuardFlags \[ (\(0x[0-9A-Fa-f]*\))$/\1/p' <<<"$load_config")
    [[ -n $flags ]] && ((($flags & 0x500) == 0x500)) ||
        fail "$name's guard flags [$flags] lack CF_INSTRUMENTED (0x100) or CF_FUNCTION_TABLE_PRESENT (0x400)"
    (($(field Size) >= 0x94 && $(field GuardCFCheckFunction) != 0 && $(field GuardCFCheckDispatch) != 0)) ||
        fail "$name's load configuration has no guard-check pointers:"$'\n'"$load_config"
    (($(field GuardCFFunctionTable) != 0 && $(field GuardCFFunctionCount) > 0)) ||
        fail "$name's load configuration has no table of call targets"
    image_base=$(printf '%d' "$(sed -n 's/^  ImageBase: //p' <<<"$headers")")
    sections=$("$readobj" --sections "$1" | sed -n 's/^ *\(VirtualAddress\|PointerToRawData\): //p' |
        while read -r rva && read -r offset; do printf '%d %d\n' "$rva" "$offset"; done)
    # The loader replaces the cookie with a random one only while it holds the default value.
    cookie=$(($(field SecurityCookie) - image_base))
    ((cookie > 0)) || fail "$name's load configuration names no security cookie"
    offset=$(while read -r rva raw; do ((rva > cookie)) || echo $((raw + cookie - rva)); done <<<"$sections" | tail -n 1)
    value=$(od -An -t x8 -j "$offset" -N 8 "$1" | tr -d ' ')
    [[ $value == 00002b992ddfa232 ]] || fail "$name's security cookie holds $value on disk, not 00002b992ddfa232"
    targets=$("$readobj" --coff-load-config "$1" | sed -n '/^GuardFidTable \[/,/^\]/p')
    # The fast fail of a smashed stack (code 2) is called from somewhere: the stack protector checks.
    code=$("$objdump" -d "$1")
    fast_fail=$(grep -B1 -E 'int\s+\$0x29' <<<"$code" | grep -E 'movl\s+\$0x2, %ecx' | sed 's/:.*//' || true)
    [[ -n $fast_fail ]] && grep -qE "call.*0x${fast_fail#0x}( |$)" <<<"$code" ||
        fail "$name never calls a stack-cookie fast fail: no stack protector"
    guarded "$1"
}

hardened "$state"
for action in ReadServiceState PlainExistingToolDir; do
    grep -q "^  Name: $action\$" <<<"$headers" || fail "zonbekstate.dll does not export $action"
done
state_summary="GUARD_CF ($(field GuardCFFunctionCount) call targets) CET_COMPAT, cookie at RVA $(printf '0x%X' "$cookie")"

hardened "$exe"
symbols=$("$pdbutil" dump -symbols -publics "$pdb")
# address NAME: the virtual address of the routine NAME, as readobj and objdump print it.
address() {
    local section offset
    read -r section offset < <(grep -A1 -E "S_(GPROC32|LPROC32|PUB32) .*\`$1\`$" <<<"$symbols" |
        sed -n 's/.*addr = \([0-9]*\):\([0-9]*\).*/\1 \2/p' | head -n 1)
    [[ -n $section ]] || fail "the PDB has no routine $1"
    printf '0x%X' $((image_base + $(sed -n "${section}s/ .*//p" <<<"$sections") + 10#$offset))
}

# Windows calls these through a guarded call. guarded() finds them as code addresses that code takes; they
# are named here too, so that a change in the tools' output cannot leave it seeing nothing.
for routine in ServiceMain ServiceCtrlHandler TakeConsoleBreak; do
    grep -qx "  $(address "$routine")" <<<"$targets" || fail "$routine is not in the table of call targets"
done

files=$("$pdbutil" dump -files "$pdb")
# The service's sources are every file not of the system's compiler and libraries (/usr).
own=$(grep '^- ' <<<"$files" | grep -v ') /usr/' || true)
[[ -n $own ]] || fail "the PDB names none of the service's sources"
bad=$(grep -v '^- (SHA-256: [0-9A-F]\{64\}) ' <<<"$own" || true)
[[ -z $bad ]] || fail "sources without a SHA-256 hash in the PDB:"$'\n'"$bad"
weak=$(grep -E '^- \((MD5|SHA-?1):' <<<"$files" || true)
[[ -z $weak ]] || fail "files with a weak hash in the PDB:"$'\n'"$weak"

dll_headers=$("$readobj" --file-headers --sections "$dll")
for flag in DYNAMIC_BASE HIGH_ENTROPY_VA NX_COMPAT; do
    grep -q "IMAGE_DLL_CHARACTERISTICS_$flag " <<<"$dll_headers" || fail "zonbekmsg.dll lacks $flag"
done
! grep -qE 'IMAGE_SCN_(MEM_EXECUTE|CNT_CODE) ' <<<"$dll_headers" || fail "zonbekmsg.dll has an executable section"

echo "[check_hardening] zonbeksvc.exe: DYNAMICBASE HIGHENTROPYVA NXCOMPAT GUARD_CF ($(field GuardCFFunctionCount) call targets, flags $flags) CET_COMPAT, cookie at RVA $(printf '0x%X' "$cookie"), $(wc -l <<<"$own") sources with SHA-256; zonbekstate.dll: DYNAMICBASE HIGHENTROPYVA NXCOMPAT $state_summary; zonbekmsg.dll: DYNAMICBASE HIGHENTROPYVA NXCOMPAT, no code"
