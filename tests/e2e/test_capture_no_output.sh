#!/usr/bin/env bash
# No output and exit code 1: the output event is still written, with no strings.
. "$(dirname "${BASH_SOURCE[0]}")/lib.sh"
e2e_begin
setup_service
tool_config "exit 1"

start_service
wait_service_exit
expect_reports \
    "$(status START_PENDING 0 0 1 3000)" \
    "$(status RUNNING 1 0 0 0)" \
    "$(event 0xC0020003)" \
    "$(status STOPPED 1 0 0 0)"
