#!/usr/bin/env bash
# A tool with no Ctrl+C handler of its own is ended by the stop's Ctrl+C (Wine gives it exit code 0).
# An exit code of 0 after a stop ends the cycles: the tool is not started again.
. "$(dirname "${BASH_SOURCE[0]}")/lib.sh"
e2e_begin
setup_service
tool_config "out waiting;hold"

start_service
wait_for_tool_file zonbek.ready
out=$(svcctl stop zonbek) || fail "the stop control was refused: $out"
wait_service_exit

assert_eq 1 "$(tool_launches)" "number of launches"
expect_reports \
    "$(status START_PENDING 0 0 1 3000)" \
    "$(status RUNNING 1 0 0 0)" \
    "$(status STOP_PENDING 1 0 2 10000)" \
    "$(status STOPPED 1 0 0 0)"
