#!/usr/bin/env bash
# Two lines, one on standard output and one on standard error, then exit code 3: one output event with
# the two lines as its strings, then stopped with 0.
. "$(dirname "${BASH_SOURCE[0]}")/lib.sh"
e2e_begin
setup_service
tool_config "out one;err two;exit 3"

start_service
wait_service_exit
expect_reports \
    "$(status START_PENDING 0 0 1 3000)" \
    "$(status RUNNING 1 0 0 0)" \
    "$(event 0xC0020003 one two)" \
    "$(status STOPPED 1 0 0 0)"
