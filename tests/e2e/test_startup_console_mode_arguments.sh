#!/usr/bin/env bash
# Only a single argument that begins with an upper-case X selects console mode. Whatever the arguments,
# a hand run says on standard error that this is the service zonbek and how to start it.
. "$(dirname "${BASH_SOURCE[0]}")/lib.sh"
e2e_begin
session_start
set_install_dir "$INSTALL_DIR_WIN"

# run_by_hand sends standard error to the trace; Wine's own lines there begin with a process id.
trace_lines=0
expect_standard_error() {
    assert_lines "standard error with arguments [$1]" \
        "$(tail -n +$((trace_lines + 1)) "$TRACE" | grep -a -v -E '^[0-9a-f]{4}:' | tr -d '\r')" \
        'zonbeksvc: this is the Windows service zonbek, which runs only when the service manager starts it: sc start zonbek' \
        "The administrator's guide is admin-guide.txt, in the folder of zonbeksvc.exe."
    trace_lines=$(wc -l <"$TRACE")
}

code=0
run_by_hand Xyz || code=$?
assert_eq 1 "$code" "exit code with Xyz"
expect_reports \
    "$(event 0xC0020001 KavixZonbek 'RegisterServiceCtrlHandler failed with 1060')" \
    "$(event 0xC0020001 KavixZonbek 'StartServiceCtrlDispatcher failed with 1063')"
expect_standard_error Xyz

for arguments in "x" "X X"; do
    code=0
    # shellcheck disable=SC2086 # the words are the arguments
    run_by_hand $arguments || code=$?
    assert_eq 1 "$code" "exit code with arguments [$arguments]"
    expect_reports "$(event 0xC0020001 KavixZonbek 'StartServiceCtrlDispatcher failed with 1063')"
    assert_lines "service manager calls with arguments [$arguments]" "$(service_lines call)" "StartServiceCtrlDispatcherA"
    expect_standard_error "$arguments"
done
