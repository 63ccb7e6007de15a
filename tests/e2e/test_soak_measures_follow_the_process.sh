#!/usr/bin/env bash
# The figures that the soak compares come from outside the service (svcctl stats: the entries of the
# system handle list that name the process, its threads, GetProcessMemoryInfo), since GetProcessHandleCount
# answers 0 for another process under Wine. They must follow a process that grows: a tool that opens 64
# events and commits and touches 8 MB shows exactly 64 more handles and at least 8 MB more of working set
# and of private bytes; the service, meanwhile, does not change.
. "$(dirname "${BASH_SOURCE[0]}")/lib.sh"
e2e_begin
setup_service
tool_config "mark before;waitfor before.go;events 64;alloc 8192;mark after;waitfor after.go;exit 3"

figure() { sed -n "s/.* $1=\([0-9]*\) .*/\1/p; s/^$1=\([0-9]*\) .*/\1/p" <<<"$2"; }

start_service >/dev/null
wait_for_tool_file before
tool=$(tool_pid 1)
tool_before=$(svcctl stats "$tool") || fail "svcctl stats $tool: $tool_before"
service_before=$(svcctl stats "$SERVICE_PID") || fail "svcctl stats $SERVICE_PID: $service_before"
: >"$(tool_file before.go)"
wait_for_tool_file after
tool_after=$(svcctl stats "$tool") || fail "svcctl stats $tool: $tool_after"
service_after=$(svcctl stats "$SERVICE_PID") || fail "svcctl stats $SERVICE_PID: $service_after"
log "tool before: $tool_before"
log "tool after:  $tool_after"
log "service:     $service_after"

assert_match '^handles=[1-9][0-9]* threads=[1-9][0-9]* workingset=[1-9][0-9]* private=[1-9][0-9]* ' "$tool_before" \
    "the tool's figures"
assert_eq $(($(figure handles "$tool_before") + 64)) "$(figure handles "$tool_after")" \
    "the tool's handle count after it opened 64 events"
assert_eq "$(figure threads "$tool_before")" "$(figure threads "$tool_after")" "the tool's thread count"
for what in workingset private; do
    grown=$(($(figure "$what" "$tool_after") - $(figure "$what" "$tool_before")))
    ((grown >= 8192 * 1024)) || fail "the tool's $what grew by $grown bytes after it touched 8 MB"
done
assert_eq "$service_before" "$service_after" "the service's figures while its tool grew"

: >"$(tool_file after.go)"
wait_service_exit >/dev/null
assert_eq 1 "$(tool_launches)" "number of launches"
