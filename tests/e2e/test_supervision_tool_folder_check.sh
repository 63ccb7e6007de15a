#!/usr/bin/env bash
# The tool, its folder or a folder above it that everyone may change (Wine makes "other" write into
# Everyone: modify) stops the service before any launch, with event 4 naming the object, the principal
# and the rights; ToolFolderCheck = 0 (a REG_DWORD) turns that into warning 5 and the tool runs. Run by hand, the same
# finding goes to standard error.
. "$(dirname "${BASH_SOURCE[0]}")/lib.sh"
e2e_begin
setup_service
tool_config "record;exit 4"
tool=$(tool_file zonbek.exe)
kavix=$(dirname "$TOOL_DIR")

# refused UNIX-PATH OBJECT WHAT: one start with UNIX-PATH writable by everyone.
refused() {
    chmod o+w "$1"
    start_service >/dev/null
    wait_service_exit >/dev/null
    chmod o-w "$1"
    expect_reports \
        "$(event 0xC0020004 "$2" Everyone "$3")" \
        "$(status START_PENDING 0 0 1 3000)" \
        "$(status STOPPED 1 1066 0 0)"
    assert_eq 0 "$(tool_launches)" "launches after a refusal of $2"
    : >"$TRACE"
}
refused "$tool" "$INSTALL_DIR_WIN\\zonbek.exe" 'change its contents, append to it, delete or rename it'
refused "$TOOL_DIR" "$INSTALL_DIR_WIN" 'add files to it, delete or rename it, delete or rename what it holds'
# A "0" of another type than REG_DWORD is no override.
wine_quiet reg add "$INSTALL_KEY" /v ToolFolderCheck /t REG_SZ /d 0 /f >/dev/null
refused "$kavix" 'C:\Program Files\Kavix' 'delete or rename it, delete or rename what it holds'

chmod o+w "$kavix"
code=0
run_by_hand X || code=$?
assert_eq 1 "$code" "exit code of a refused hand run"
assert_lines "standard error of a refused hand run" "$(grep -a -v -E '^[0-9a-f]{4}:' "$TRACE" | tr -d '\r' | head -n 5)" \
    'zonbeksvc: the Zonbek tool is not started: someone other than an administrator may change what it would run as LocalSystem.' \
    'Object: C:\Program Files\Kavix' \
    'Who: Everyone' \
    'What they may do: delete or rename it, delete or rename what it holds' \
    "The administrator's guide, admin-guide.txt in the folder of zonbeksvc.exe, says how to protect it."
: >"$TRACE"

wine_quiet reg add "$INSTALL_KEY" /v ToolFolderCheck /t REG_DWORD /d 0 /f >/dev/null
start_service >/dev/null
wait_service_exit >/dev/null
assert_eq 1 "$(tool_launches)" "launches with ToolFolderCheck 0"
expect_reports \
    "$(warning_event 0x80020005 'C:\Program Files\Kavix' Everyone 'delete or rename it, delete or rename what it holds')" \
    "$(status START_PENDING 0 0 1 3000)" \
    "$(status RUNNING 1 0 0 0)" \
    "$(event 0xC0020003)" \
    "$(status STOPPED 1 0 0 0)"
