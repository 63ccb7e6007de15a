#!/usr/bin/env bash
# An InstallDir value of 64 KB (65,535 characters and the terminator). The lookup takes it whole, and
# CreateProcessA refuses the 65,546-character tool path with 87: the failure is reported with the five
# strings and the service stops with 1066. Wine's ReportEventA turns each string into UTF-16 with a
# 16-bit length, so the trace cannot show these two strings as the service passed them: the tool path
# arrives as its first 10 characters (65,546 modulo 65,536) and the directory, too long to convert at
# all, is replaced by the string before it.
. "$(dirname "${BASH_SOURCE[0]}")/lib.sh"
e2e_begin
setup_service
tool_config "out should not run;exit 4"

dir='C:\Kavix'
while ((${#dir} + 101 <= 65535)); do
    printf -v part '%100s' '' && dir+="\\${part// /d}"
done
printf -v part '%*s' $((65535 - ${#dir} - 1)) '' && dir+="\\${part// /e}"
assert_eq 65535 "${#dir}" "the length of the directory"
printf '%s' "$dir" >"$WINEPREFIX/drive_c/e2e/installdir.txt"
out=$(svcctl setdir 'C:\e2e\installdir.txt') || fail "svcctl setdir: $out"
assert_eq "set bytes=65536" "$out" "the registry value written"

start_service >/dev/null
wait_service_exit >/dev/null
expect_reports \
    "$(status START_PENDING 0 0 1 3000)" \
    "$(event 0xC0020002 KavixZonbek 'CreateProcess(zonbek) failed with 87' "${dir:0:10}" 'zonbek.exe --service' 'zonbek.exe --service')" \
    "$(status STOPPED 1 1066 0 0)"
assert_eq 0 "$(tool_launches)" "number of launches"
assert_match '^state=1 controls=1 exit=1066 specific=0 ' "$(service_query)" "the service manager's view after the end"
