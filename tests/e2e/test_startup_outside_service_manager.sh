#!/usr/bin/env bash
# Configured, but started by hand: the dispatcher refuses a process the service manager did not start
# (Wine: after 10 s, with 1063), which is reported, and the program ends with 1 without any status.
. "$(dirname "${BASH_SOURCE[0]}")/lib.sh"
e2e_begin
session_start

set_install_dir "$INSTALL_DIR_WIN"
code=0
run_by_hand || code=$?
assert_eq 1 "$code" "exit code outside the service manager"
expect_reports "$(event 0xC0020001 KavixZonbek 'StartServiceCtrlDispatcher failed with 1063')"
assert_lines "service manager calls" "$(service_lines call)" "StartServiceCtrlDispatcherA"
