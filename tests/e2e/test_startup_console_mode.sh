#!/usr/bin/env bash
# Console mode (argument X) outside the service manager: ServiceMain runs first, its handler
# registration is refused (1060) and reported, then the dispatcher is refused (1063) and reported;
# no status report is made and the program ends with 1.
. "$(dirname "${BASH_SOURCE[0]}")/lib.sh"
e2e_begin
session_start
set_install_dir "$INSTALL_DIR_WIN"

code=0
run_by_hand X || code=$?
assert_eq 1 "$code" "exit code in console mode"
expect_reports \
    "$(event 0xC0020001 KavixZonbek 'RegisterServiceCtrlHandler failed with 1060')" \
    "$(event 0xC0020001 KavixZonbek 'StartServiceCtrlDispatcher failed with 1063')"
assert_lines "service manager calls" "$(service_lines call)" \
    "RegisterServiceCtrlHandler" \
    "StartServiceCtrlDispatcherA"
