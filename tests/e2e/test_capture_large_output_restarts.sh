#!/usr/bin/env bash
# 100 KB of output on every run, three clean runs and then exit code 1: no run blocks, and the event
# carries only the last run's last 4094 bytes (every run numbers its lines with its launch).
. "$(dirname "${BASH_SOURCE[0]}")/lib.sh"
e2e_begin
setup_service
tool_config "bulk 102400;exit 0" "bulk 102400;exit 0" "bulk 102400;exit 0" "bulk 102400;exit 1"

start_service
wait_service_exit

assert_eq 4 "$(tool_launches)" "number of launches"
mapfile -t lines < <(bulk_output 4 102400 | output_lines)
expect_reports \
    "$(status START_PENDING 0 0 1 3000)" \
    "$(status RUNNING 1 0 0 0)" \
    "$(status START_PENDING 0 0 2 3000)" \
    "$(status RUNNING 1 0 0 0)" \
    "$(status START_PENDING 0 0 3 3000)" \
    "$(status RUNNING 1 0 0 0)" \
    "$(status START_PENDING 0 0 4 3000)" \
    "$(status RUNNING 1 0 0 0)" \
    "$(event 0xC0020003 "${lines[@]}")" \
    "$(status STOPPED 1 0 0 0)"
