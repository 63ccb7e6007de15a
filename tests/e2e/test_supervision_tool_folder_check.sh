#!/usr/bin/env bash
# The tool, a DLL beside it, its folder or a folder above it that everyone may change (Wine makes "other"
# write into Everyone: modify), or a tool someone else owns, stops the service after its first
# start-pending report and before any launch, with event 4 naming the object, the principal and the
# rights; ToolFolderCheck = 0 (a REG_DWORD) turns that into warning 5 and the tool runs. ToolFolderTrust
# (REG_MULTI_SZ) adds principals the check trusts; an entry that is no SID is a finding of its own. A
# hand run checks nothing: it launches no tool.
. "$(dirname "${BASH_SOURCE[0]}")/lib.sh"
e2e_begin
setup_service
tool_config "record;exit 4"
tool=$(tool_file zonbek.exe)
kavix=$(dirname "$TOOL_DIR")
trust_value='HKLM\Software\Kavix\Zonbek\ToolFolderTrust'

# One start, waited for to its end.
run_once() {
    start_service >/dev/null
    wait_service_exit >/dev/null
}

# refused UNIX-PATH OBJECT WHAT: one start with UNIX-PATH writable by everyone.
refused() {
    chmod o+w "$1"
    run_once
    chmod o-w "$1"
    expect_reports \
        "$(status START_PENDING 0 0 1 3000)" \
        "$(event 0xC0020004 "$2" Everyone "$3")" \
        "$(status STOPPED 1 1066 0 0)"
    assert_eq 0 "$(tool_launches)" "launches after a refusal of $2"
    : >"$TRACE"
}
refused "$tool" "$INSTALL_DIR_WIN\\zonbek.exe" 'change its contents, append to it, delete or rename it'
: >"$TOOL_DIR/helper.dll"
refused "$TOOL_DIR/helper.dll" "$INSTALL_DIR_WIN\\helper.dll" 'change its contents, append to it, delete or rename it'
refused "$TOOL_DIR" "$INSTALL_DIR_WIN" \
    'add files to it, add folders to it, delete or rename it, delete or rename what it holds'
# A "0" of another type than REG_DWORD is no override.
wine_quiet reg add "$INSTALL_KEY" /v ToolFolderCheck /t REG_SZ /d 0 /f >/dev/null
refused "$kavix" 'C:\Program Files\Kavix' 'delete or rename it, delete or rename what it holds'

# Owned by someone else: Wine reads a file of another Unix user as ANONYMOUS LOGON's, which
# ToolFolderTrust can then admit as an owner.
owner=$(stat -c %u "$tool")
chown 1 "$tool"
run_once
expect_reports \
    "$(status START_PENDING 0 0 1 3000)" \
    "$(event 0xC0020004 "$INSTALL_DIR_WIN\\zonbek.exe" 'NT AUTHORITY\ANONYMOUS LOGON' 'own it, and so change its permissions')" \
    "$(status STOPPED 1 1066 0 0)"
: >"$TRACE"
wine_quiet reg add "$INSTALL_KEY" /v ToolFolderTrust /t REG_MULTI_SZ /d 'S-1-5-7' /f >/dev/null
run_once
assert_eq 1 "$(tool_launches)" "launches with the owner trusted"
chown "$owner" "$tool"
wine_quiet reg delete "$INSTALL_KEY" /v ToolFolderTrust /f >/dev/null
: >"$TRACE"

# The check runs once connected: the dispatcher comes first, and a refused folder does not hold it up.
chmod o+w "$kavix"
run_once
assert_lines "the order of a refusal" "$(parse_trace | grep -E 'call StartServiceCtrlDispatcherA|START_PENDING|event' |
    sed -E 's/^[0-9a-f]+ //; s/ type=.*//')" \
    'call StartServiceCtrlDispatcherA' 'status START_PENDING' 'event 0xc0020004'
: >"$TRACE"
code=0
run_by_hand X || code=$?
assert_eq 1 "$code" "exit code of a hand run"
expect_reports \
    "$(event 0xC0020001 KavixZonbek 'RegisterServiceCtrlHandler failed with 1060')" \
    "$(event 0xC0020001 KavixZonbek 'StartServiceCtrlDispatcher failed with 1063')"
: >"$TRACE"

# Trusted by name: Everyone's entry passes, and a spelling Windows accepts matches what it writes.
wine_quiet reg add "$INSTALL_KEY" /v ToolFolderTrust /t REG_MULTI_SZ /d 'S-1-5-32-545\0S-1-1-0' /f >/dev/null
run_once
assert_eq 2 "$(tool_launches)" "launches with Everyone trusted"
assert_no_event 0xC0020004
: >"$TRACE"

wine_quiet reg add "$INSTALL_KEY" /v ToolFolderTrust /t REG_MULTI_SZ /d 'S-1-1-0\0Domain Admins' /f >/dev/null
run_once
assert_eq 2 "$(tool_launches)" "launches so far: none with an entry that is no SID"
expect_reports \
    "$(status START_PENDING 0 0 1 3000)" \
    "$(event 0xC0020004 "$trust_value" unknown 'Domain Admins')" \
    "$(status STOPPED 1 1066 0 0)"
: >"$TRACE"
wine_quiet reg delete "$INSTALL_KEY" /v ToolFolderTrust /f >/dev/null

wine_quiet reg add "$INSTALL_KEY" /v ToolFolderCheck /t REG_DWORD /d 0 /f >/dev/null
run_once
assert_eq 3 "$(tool_launches)" "launches with ToolFolderCheck 0"
expect_reports \
    "$(status START_PENDING 0 0 1 3000)" \
    "$(warning_event 0x80020005 'C:\Program Files\Kavix' Everyone 'delete or rename it, delete or rename what it holds')" \
    "$(status RUNNING 1 0 0 0)" \
    "$(event 0xC0020003)" \
    "$(status STOPPED 1 0 0 0)"
