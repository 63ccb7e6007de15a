#!/usr/bin/env bash
# A tool that swallows Ctrl+C keeps the service in stop pending. Wine's service manager refuses a
# second stop while the service is stop pending (1061) without passing it to the handler, so no
# further report is made; when the tool finally ends, the service stops with 0 and no output event.
. "$(dirname "${BASH_SOURCE[0]}")/lib.sh"
e2e_begin
setup_service
tool_config "ignorectrlc;out swallowed;hold;exit 6"

start_service
wait_for_tool_file zonbek.ready

out=$(svcctl stop zonbek) || fail "the first stop control was refused: $out"
assert_eq "sent state=3 checkpoint=2" "$out" "the status the first stop control returned"
wait_for_tool_file zonbek.ctrlc 1
assert_match '^state=3 controls=1 exit=0 specific=0 checkpoint=2 hint=10000 ' "$(service_query)" \
    "the service manager's view while the tool ignores Ctrl+C"

code=0
out=$(svcctl stop zonbek) || code=$?
assert_eq "2 error=1061 call=ControlService" "$code $out" "the second stop control"
assert_match '^state=3 controls=1 exit=0 specific=0 checkpoint=2 hint=10000 ' "$(service_query)" \
    "the service manager's view after the second stop"
assert_match '^alive ' "$(svcctl alive "$SERVICE_PID")" "the service process while the tool runs on"

tool_release
wait_service_exit

# The start message (0) and the first stop (1) only.
assert_lines "controls delivered to the handler" "$(service_lines control)" "0" "1"
assert_file_content "$(tool_file zonbek.ctrlc)" "ctrl 0" "Ctrl+C events the tool saw"
expect_reports \
    "$(status START_PENDING 0 0 1 3000)" \
    "$(status RUNNING 1 0 0 0)" \
    "$(status STOP_PENDING 1 0 2 10000)" \
    "$(status STOPPED 1 0 0 0)"
assert_eq 1 "$(tool_launches)" "number of launches"
