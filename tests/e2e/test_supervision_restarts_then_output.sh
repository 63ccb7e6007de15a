#!/usr/bin/env bash
# A tool that exits with 0 is started again at once, each cycle with the next start-pending
# checkpoint; when it then ends with another code, only that last run's output is reported and the
# service stops with 0.
. "$(dirname "${BASH_SOURCE[0]}")/lib.sh"
e2e_begin
setup_service
tool_config \
    "out clean run 1;exit 0" \
    "out clean run 2;exit 0" \
    "out clean run 3;exit 0" \
    "out last run;err its error line;exit 5"

start_service
assert_eq 0 "$START_ERROR" "StartService's answer to a service whose first report is start pending"
wait_service_exit

assert_eq 4 "$(tool_launches)" "number of launches"
expect_reports \
    "$(status START_PENDING 0 0 1 3000)" \
    "$(status RUNNING 1 0 0 0)" \
    "$(status START_PENDING 0 0 2 3000)" \
    "$(status RUNNING 1 0 0 0)" \
    "$(status START_PENDING 0 0 3 3000)" \
    "$(status RUNNING 1 0 0 0)" \
    "$(status START_PENDING 0 0 4 3000)" \
    "$(status RUNNING 1 0 0 0)" \
    "$(event 0xC0020003 'last run' 'its error line')" \
    "$(status STOPPED 1 0 0 0)"
assert_match '^state=1 controls=1 exit=0 ' "$(service_query)" "the service manager's view after the end"
