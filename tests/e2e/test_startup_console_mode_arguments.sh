#!/usr/bin/env bash
# Only a single argument that begins with an upper-case X selects console mode.
. "$(dirname "${BASH_SOURCE[0]}")/lib.sh"
e2e_begin
session_start
set_install_dir "$INSTALL_DIR_WIN"

code=0
run_by_hand Xyz || code=$?
assert_eq 1 "$code" "exit code with Xyz"
expect_reports \
    "$(event 0xC0020001 KavixZonbek 'RegisterServiceCtrlHandler failed with 1060')" \
    "$(event 0xC0020001 KavixZonbek 'StartServiceCtrlDispatcher failed with 1063')"

for arguments in "x" "X X"; do
    code=0
    # shellcheck disable=SC2086 # the words are the arguments
    run_by_hand $arguments || code=$?
    assert_eq 1 "$code" "exit code with arguments [$arguments]"
    expect_reports "$(event 0xC0020001 KavixZonbek 'StartServiceCtrlDispatcher failed with 1063')"
    assert_lines "service manager calls with arguments [$arguments]" "$(service_lines call)" "StartServiceCtrlDispatcherA"
done
