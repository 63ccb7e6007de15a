#!/usr/bin/env bash
# Started by hand with no Software\Kavix\Zonbek key: the lookup fails at once, the dispatcher is never
# contacted, the program says on standard error what it looked for and how to set it, and ends with 1.
. "$(dirname "${BASH_SOURCE[0]}")/lib.sh"
e2e_begin
session_start

code=0
run_by_hand || code=$?
assert_eq 1 "$code" "exit code without the registry key"
# run_by_hand sends standard error to the trace; Wine's own lines there begin with a process id.
assert_lines "standard error" "$(grep -a -v -E '^[0-9a-f]{4}:' "$TRACE" | tr -d '\r')" \
    'zonbeksvc: the folder of the Zonbek tool is not known: there is no value InstallDir of type REG_SZ under HKEY_LOCAL_MACHINE\Software\Kavix\Zonbek.' \
    'Set it, as administrator, to the folder that holds zonbek.exe: reg add "HKLM\Software\Kavix\Zonbek" /v InstallDir /t REG_SZ /d "<folder of zonbek.exe>" /f /reg:64'
# The number is the thread's last error, which Wine leaves at 0 here; the registry call's own result
# (2, file not found) would be the wrong number.
expect_reports "$(event 0xC0020002 KavixZonbek 'zonbek InstallDir lookup failed with 0')"
assert_lines "service manager calls" "$(service_lines call)"

# A key without the value is just as much not found.
wine_quiet reg add "$INSTALL_KEY" /v Other /t REG_SZ /d 'C:\elsewhere' /f >/dev/null
code=0
run_by_hand || code=$?
assert_eq 1 "$code" "exit code with the key but no InstallDir value"
expect_reports "$(event 0xC0020002 KavixZonbek 'zonbek InstallDir lookup failed with 0')"
assert_lines "service manager calls" "$(service_lines call)"
