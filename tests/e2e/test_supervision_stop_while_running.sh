#!/usr/bin/env bash
# A stop while the tool runs (after one restart): stop pending with the next checkpoint, Ctrl+C to the
# tool, and when the tool ends (here with 5) the service stops with 0 and reports no output.
. "$(dirname "${BASH_SOURCE[0]}")/lib.sh"
e2e_begin
setup_service
tool_config "exit 0" "out not to be reported;ctrlc 5"

start_service
wait_for_tool_file zonbek.ready
assert_eq 2 "$(tool_launches)" "number of launches before the stop"

out=$(svcctl stop zonbek) || fail "the stop control was refused: $out"
wait_service_exit

assert_file_content "$(tool_file zonbek.ctrlc)" "ctrl 0" "Ctrl+C events the tool saw"
expect_reports \
    "$(status START_PENDING 0 0 1 3000)" \
    "$(status RUNNING 1 0 0 0)" \
    "$(status START_PENDING 0 0 2 3000)" \
    "$(status RUNNING 1 0 0 0)" \
    "$(status STOP_PENDING 1 0 3 10000)" \
    "$(status STOPPED 1 0 0 0)"
assert_eq 2 "$(tool_launches)" "number of launches after the stop"
assert_match '^state=1 controls=1 exit=0 ' "$(service_query)" "the service manager's view after the end"
