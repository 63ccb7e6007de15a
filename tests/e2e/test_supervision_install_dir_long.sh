#!/usr/bin/env bash
# Installation directories of 259 and of 1,000 characters, each existing with the tool in it. Under Wine
# both launches fail and are reported with the five strings, and the service stops with 1066: with 259
# characters the tool path (270) is too long for CreateProcessA, and the last error Wine 8 leaves then
# depends on what the caller's stack held (6 and 2 both seen), so any number is taken; with 1,000 the
# working directory is refused first, with 3. Strings longer than the trace keeps are compared as far
# as it goes.
. "$(dirname "${BASH_SOURCE[0]}")/lib.sh"
e2e_begin
session_start
install_service

# long_dir LENGTH: C:\Kavix and then directories of at most 100 characters, LENGTH characters in all.
long_dir() {
    local dir='C:\Kavix' left part
    while left=$(($1 - ${#dir})) && ((left > 101)); do
        printf -v part '%100s' '' && dir+="\\${part// /d}"
    done
    printf -v part '%*s' $((left - 1)) '' && dir+="\\${part// /e}"
    printf '%s\n' "$dir"
}

for length_error in 259:any 1000:3; do
    length=${length_error%:*}
    error=${length_error#*:}
    dir=$(long_dir "$length")
    assert_eq "$length" "${#dir}" "the length of the directory"
    set_install_dir "$dir"
    INSTALL_DIR_WIN=$dir install_tool
    tool_config "out should not run;exit 4"

    start_service >/dev/null
    wait_service_exit >/dev/null
    if [[ $error == any ]]; then
        error=$(service_reports | sed -n 's/.*"CreateProcess(zonbek) failed with \(-\{0,1\}[0-9]\{1,\}\)".*/\1/p')
        [[ -n $error ]] || fail "no CreateProcess(zonbek) report with a number for a directory of $length characters"
    fi
    expect_reports \
        "$(status START_PENDING 0 0 1 3000)" \
        "$(event 0xC0020002 KavixZonbek "CreateProcess(zonbek) failed with $error" "$dir\\zonbek.exe" 'zonbek.exe --service' "$dir")" \
        "$(status STOPPED 1 1066 0 0)"
    assert_eq 0 "$(tool_launches)" "launches from a directory of $length characters"
    assert_match '^state=1 controls=1 exit=1066 specific=0 ' "$(service_query)" "the service manager's view after the end"
done
