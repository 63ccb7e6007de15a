#!/usr/bin/env bash
# Only stop is accepted: the service manager refuses pause and continue (1052) itself, and an
# interrogate that reaches the handler makes no report and leaves the tool running.
. "$(dirname "${BASH_SOURCE[0]}")/lib.sh"
e2e_begin
setup_service
tool_config "hold;exit 2"

start_service
wait_for_tool_file zonbek.ready

for control in 2 3; do
    code=0
    out=$(svcctl control zonbek "$control") || code=$?
    assert_eq "2 error=1052 call=ControlService" "$code $out" "control $control"
done
svcctl control zonbek 4 >/dev/null || fail "interrogate was refused"
assert_match '^state=4 controls=1 exit=0 specific=0 checkpoint=0 hint=0 ' "$(service_query)" \
    "the service manager's view after the controls"
assert_eq 1 "$(tool_launches)" "number of launches while the tool holds"

tool_release
wait_service_exit

assert_lines "controls delivered to the handler" "$(service_lines control)" "0" "4"
expect_reports \
    "$(status START_PENDING 0 0 1 3000)" \
    "$(status RUNNING 1 0 0 0)" \
    "$(event 0xC0020003)" \
    "$(status STOPPED 1 0 0 0)"
