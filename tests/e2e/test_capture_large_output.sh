#!/usr/bin/env bash
# 100 KB of output, far more than a pipe holds, then the line that says why the tool failed, and exit
# code 2: the tool is never left blocked on a full pipe, and the event carries the lines of the last
# 4094 bytes, the failing line last and the end of a cut line first.
. "$(dirname "${BASH_SOURCE[0]}")/lib.sh"
e2e_begin
setup_service
tool_config "bulk 102400;out FATAL: config key 'db' missing;exit 2"

start_service
wait_service_exit

mapfile -t lines < <({ bulk_output 1 102400 && printf "FATAL: config key 'db' missing\r\n"; } | output_lines)
assert_eq "FATAL: config key 'db' missing" "${lines[-1]}" "the last expected string"
assert_eq "$(printf '%.0s.' {1..28})" "${lines[0]}" "the first expected string, the end of a cut line"
expect_reports \
    "$(status START_PENDING 0 0 1 3000)" \
    "$(status RUNNING 1 0 0 0)" \
    "$(event 0xC0020003 "${lines[@]}")" \
    "$(status STOPPED 1 0 0 0)"
