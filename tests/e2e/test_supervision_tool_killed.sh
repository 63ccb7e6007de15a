#!/usr/bin/env bash
# A tool killed from outside. TerminateProcess with code 9 is an abnormal end: what the tool wrote to
# both of its outputs before is reported and the service stops with 0. A SIGKILL of the tool's Linux
# process leaves Wine reading exit code 0 (Windows has no such end): the service takes it for a clean end
# and starts the tool again, so a second launch and checkpoint 2 show that code. What the killed run wrote
# is not reported; the next run's abnormal end is.
. "$(dirname "${BASH_SOURCE[0]}")/lib.sh"
e2e_begin
setup_service

tool_config "out before the kill;err on standard error too;hold;exit 0"
start_service >/dev/null
wait_for_tool_file zonbek.ready
tool=$(tool_pid 1)
out=$(svcctl kill "$tool" 9) || fail "svcctl kill: $out"
assert_eq "killed pid=$tool code=9" "$out" "TerminateProcess"
wait_service_exit >/dev/null
assert_eq 1 "$(tool_launches)" "number of launches"
expect_reports \
    "$(status START_PENDING 0 0 1 3000)" \
    "$(status RUNNING 1 0 0 0)" \
    "$(event 0xC0020003 'before the kill' 'on standard error too')" \
    "$(status STOPPED 1 0 0 0)"

rm -f "$(tool_file zonbek.ready)" "$(tool_file zonbek.count)" "$(tool_file zonbek.launches)"
tool_config "out killed run;hold;exit 0" "out run after the kill;exit 7"
start_service >/dev/null
wait_for_tool_file zonbek.ready
mapfile -t unix < <(unix_pids 'zonbek.exe --service')
assert_eq 1 "${#unix[@]}" "Linux processes running the tool"
kill -KILL "${unix[0]}"
wait_service_exit >/dev/null
assert_eq 2 "$(tool_launches)" "number of launches"
expect_reports \
    "$(status START_PENDING 0 0 1 3000)" \
    "$(status RUNNING 1 0 0 0)" \
    "$(status START_PENDING 0 0 2 3000)" \
    "$(status RUNNING 1 0 0 0)" \
    "$(event 0xC0020003 'run after the kill')" \
    "$(status STOPPED 1 0 0 0)"
