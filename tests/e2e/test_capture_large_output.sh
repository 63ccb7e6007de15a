#!/usr/bin/env bash
# 100 KB of output, far more than a pipe holds, then exit code 1: the tool is never left blocked on a
# full pipe, and the event carries the lines of the first 4094 bytes.
. "$(dirname "${BASH_SOURCE[0]}")/lib.sh"
e2e_begin
setup_service
tool_config "bulk 102400;exit 1"

start_service
wait_service_exit

mapfile -t lines < <(bulk_output 1 102400 | output_lines)
expect_reports \
    "$(status START_PENDING 0 0 1 3000)" \
    "$(status RUNNING 1 0 0 0)" \
    "$(event 0xC0020003 "${lines[@]}")" \
    "$(status STOPPED 1 0 0 0)"
