#!/usr/bin/env bash
# A tool stopped through the stop control has its output ignored, even though it ends with 3.
. "$(dirname "${BASH_SOURCE[0]}")/lib.sh"
e2e_begin
setup_service
tool_config "out one;err two;ctrlc 3"

start_service
wait_for_tool_file zonbek.ready
out=$(svcctl stop zonbek) || fail "the stop control was refused: $out"
wait_service_exit

assert_file_content "$(tool_file zonbek.ctrlc)" "ctrl 0" "Ctrl+C events the tool saw"
expect_reports \
    "$(status START_PENDING 0 0 1 3000)" \
    "$(status RUNNING 1 0 0 0)" \
    "$(status STOP_PENDING 1 0 2 10000)" \
    "$(status STOPPED 1 0 0 0)"
