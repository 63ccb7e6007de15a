#!/usr/bin/env bash
# A tool that dies of an access violation has ended abnormally like any other non-zero exit code: what
# it wrote before is reported and the service stops with 0.
. "$(dirname "${BASH_SOURCE[0]}")/lib.sh"
e2e_begin
setup_service
tool_config "out before the crash;crash"

start_service
wait_service_exit
assert_eq 1 "$(tool_launches)" "number of launches"
expect_reports \
    "$(status START_PENDING 0 0 1 3000)" \
    "$(status RUNNING 1 0 0 0)" \
    "$(event 0xC0020003 'before the crash')" \
    "$(status STOPPED 1 0 0 0)"
