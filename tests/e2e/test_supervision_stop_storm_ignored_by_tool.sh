#!/usr/bin/env bash
# A tool that swallows Ctrl+C, and a hundred stop controls. Wine's service manager takes the first (stop
# pending, checkpoint 2, one Ctrl+C to the tool) and refuses each of the other 99 with 1061 while the
# service is stop pending, as Windows documents for ControlService; none of them reaches the handler, so
# the service stays stop pending with checkpoint 2 and sends nothing more. Once the tool ends the
# service stops with 0 and reports no output.
. "$(dirname "${BASH_SOURCE[0]}")/lib.sh"
e2e_begin
setup_service
tool_config "ignorectrlc;out swallowed;hold;exit 6"

start_service >/dev/null
wait_for_tool_file zonbek.ready

answers=$(svcctl stopstorm zonbek 100) || fail "svcctl stopstorm: $answers"
expected=("stop 1 ok state=3 checkpoint=2")
for k in $(seq 2 100); do expected+=("stop $k error=1061 state=3 checkpoint=2"); done
assert_lines "the answers to 100 stop controls" "$answers" "${expected[@]}"

wait_for_tool_file zonbek.ctrlc 1
assert_match '^state=3 controls=1 exit=0 specific=0 checkpoint=2 hint=10000 ' "$(service_query)" \
    "the service manager's view after the stop controls"
assert_match '^alive ' "$(svcctl alive "$SERVICE_PID")" "the service process while the tool runs on"

tool_release
wait_service_exit >/dev/null
assert_file_content "$(tool_file zonbek.ctrlc)" "ctrl 0" "Ctrl+C events the tool saw"
assert_lines "controls delivered to the handler" "$(service_lines control)" "0" "1"
expect_reports \
    "$(status START_PENDING 0 0 1 3000)" \
    "$(status RUNNING 1 0 0 0)" \
    "$(status STOP_PENDING 1 0 2 10000)" \
    "$(status STOPPED 1 0 0 0)"
assert_match '^state=1 controls=1 exit=0 specific=0 ' "$(service_query)" "the service manager's view after the end"
assert_eq 1 "$(tool_launches)" "number of launches"
