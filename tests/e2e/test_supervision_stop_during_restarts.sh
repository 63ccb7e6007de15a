#!/usr/bin/env bash
# A tool that exits with 0 at once, so that the service restarts it again and again, and a stop in the
# middle, five times over at different moments. Start pending accepts no control, so the stop is sent
# again until the service takes it. Each time the service stops with 0 and no output event, never hangs
# and starts no tool after the stop beyond one already being launched: after its stop-pending report only
# the stopped report follows, every running report stands for one launch, and the pending checkpoints
# (start and stop alike) run 1, 2, 3 without a gap.
. "$(dirname "${BASH_SOURCE[0]}")/lib.sh"
e2e_begin
setup_service
tool_config "exit 0"

for round in 1 2 3 4 5; do
    rm -f "$(tool_file zonbek.count)" "$(tool_file zonbek.launches)"
    start_service >/dev/null
    wait_for_tool_file zonbek.launches $((round * 4))
    out=$(svcctl stopuntil zonbek 30000) || fail "round $round: the stop was not taken: $out"
    # The answer is the latest report: stop pending, or a start-pending or running report of the cycle
    # the stop overtook, or already stopped.
    assert_match '^sent refused=[0-9]+ state=[1-4] checkpoint=[0-9]+$' "$out" "round $round: the stop control"
    wait_service_exit >/dev/null
    reports=$(service_reports)
    verdict=$(awk '
        $2 == "START_PENDING" || $2 == "STOP_PENDING" {
            match($0, /checkpoint=[0-9]+/); checkpoint = substr($0, RSTART + 11, RLENGTH - 11) + 0
            if (checkpoint != ++pending) { print "checkpoint " checkpoint " where " pending " was due"; exit }
        }
        $2 == "STOP_PENDING" { stops++; if ($0 !~ / controls=1 exit=0 specific=0 checkpoint=[0-9]+ hint=10000$/) print "stop pending: " $0 }
        $2 == "START_PENDING" && stops { late_starts++ }
        $2 == "RUNNING" { running++; if (stops) late_running++ }
        $1 == "event" { print "an event: " $0 }
        { last = $0 }
        END {
            if (stops != 1) print stops " stop-pending reports"
            if (late_starts || late_running) print late_starts + 0 " start-pending and " late_running + 0 " running reports after the stop"
            if (last != "status STOPPED type=0x10 controls=1 exit=0 specific=0 checkpoint=0 hint=0") print "last report: " last
            print "running " running
        }' <<<"$reports")
    launches=$(tool_launches)
    # A tool that the stop's Ctrl+C ends while it is still starting never counts its launch; a stop between
    # the last launch and its running report leaves that launch without one.
    if [[ $verdict == "running $((launches + 1))" || $verdict == "running $((launches - 1))" ]]; then
        verdict="running $launches"
    fi
    assert_eq "running $launches" "$verdict" "round $round: the reports (running ones counted against $launches launches)"
    assert_match '^state=1 controls=1 exit=0 specific=0 ' "$(service_query)" "round $round: the service manager's view"
    log "round $round: $launches launches, stop $out"
done
