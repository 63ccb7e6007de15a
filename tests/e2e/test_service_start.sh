#!/usr/bin/env bash
# Installed with sc create and started through the service manager: the service connects to the
# dispatcher, registers its handler and ends with a stopped report carrying exit code 0. The tool
# exits at once with 3 and no output, so whichever reports come before the last one, none of them is
# a failure.
. "$(dirname "${BASH_SOURCE[0]}")/lib.sh"
e2e_begin
setup_service
tool_config "exit 3"

start_service
wait_service_exit

reports=$(service_reports)
log "reports:"$'\n'"$reports"
assert_eq "$(status STOPPED 1 0 0 0)" "$(grep '^status ' <<<"$reports" | tail -n 1)" "the last status report"
assert_eq 1 "$(grep -c '^status STOPPED ' <<<"$reports")" "number of stopped reports"
bad=$(grep '^status ' <<<"$reports" | grep -v -e ' type=0x10 ' | grep -v ' specific=0 ' || true)
assert_eq "" "$bad" "status reports with another service type or a service-specific code"
assert_no_event 0xC0020001
assert_no_event 0xC0020002
assert_lines "service manager calls" "$(service_lines call)" \
    "StartServiceCtrlDispatcherA" \
    "RegisterServiceCtrlHandler"

assert_match '^state=1 controls=1 exit=0 specific=0 checkpoint=0 hint=0 pid=0$' "$(service_query)" \
    "the service manager's view after the end"
