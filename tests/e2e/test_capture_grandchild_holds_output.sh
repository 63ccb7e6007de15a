#!/usr/bin/env bash
# The first launch leaves a grandchild behind and exits with 0; once the next launch runs, that
# grandchild writes 64 KB to the first pipe and must get an error, not block for ever on a pipe whose
# read end it would hold itself. The second launch starts a grandchild that inherits the output pipe and
# holds it for 30 s, then exits with 1. The service reports what the tool wrote and ends while the
# grandchild still holds the pipe.
. "$(dirname "${BASH_SOURCE[0]}")/lib.sh"
e2e_begin
setup_service
tool_config "latewriter 65536 zonbek.second;exit 0" \
    "mark zonbek.second;waitfor zonbek.late;out from the tool;grandchild 30;exit 1"

start_service
wait_for_tool_file zonbek.late
late=$(cat "$(tool_file zonbek.late)")
assert_match '^failed [0-9]+$' "$late" "the first grandchild's write after the next launch"
log "the first grandchild's write after the next launch: $late"
# Generous: a service that waited for the grandchild would end after it, which the checks below see.
wait_service_exit 90

[[ -f $(tool_file zonbek.grandchild) ]] || fail "the tool did not start its grandchild"
grandchild=$(cat "$(tool_file zonbek.grandchild)")
assert_match '^[0-9]+$' "$grandchild" "the grandchild's process id"
assert_match '^alive ' "$(svcctl alive "$grandchild")" "the grandchild once the service process has ended"
[[ ! -e $(tool_file zonbek.held) ]] || fail "the grandchild had already let go of the pipe when the service ended"

expect_reports \
    "$(status START_PENDING 0 0 1 3000)" \
    "$(status RUNNING 1 0 0 0)" \
    "$(status START_PENDING 0 0 2 3000)" \
    "$(status RUNNING 1 0 0 0)" \
    "$(event 0xC0020003 'from the tool')" \
    "$(status STOPPED 1 0 0 0)"

tool_release
svcctl waitpid "$grandchild" 30000 >/dev/null || fail "the grandchild did not end once released"
