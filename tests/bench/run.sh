#!/usr/bin/env bash
# The benchmarks of zonbeksvc.exe under Wine, all in one run on this machine; scripts/bench builds what
# they need and calls this. Prints every run and then a summary (median, with min and max over the runs).
#   restart rate     the service restarting tests/bench's tool (it exits at once) against benchctl's bare
#                    loop of CreateProcessA with an inherited pipe, wait, GetExitCodeProcess, CloseHandle
#                    on the same tool: runs of both, interleaved
#   exit to launch   from each tool's end (its last instruction) to the next tool's entry, same runs
#   references       one more loop on the same tool, for what draining the output costs: a named pipe
#                    per launch read overlapped by the waiting thread itself, as the service reads it;
#                    and tests/bench's loopsvc.exe,
#                    the least a service can do per restart (a pipe, the start-pending and running
#                    reports, the launch), run by the service manager like the service
#   stop to stopped  stop control to the stopped report, for a tool that ends on Ctrl+C
#   CPU per cycle    the CPU time of the service's Wine process (Linux's user and system time of all its
#                    threads, in clock ticks, read every 50 ms from when the process is first seen to its
#                    last reading before it ends) over the launches of a run; the same for the minimal
#                    service and the other build
#   idle CPU         the service's CPU time and context switches over 10 s while its tool sleeps (Linux's
#                    account of every thread of the Wine process)
#   size             the stripped exe and the DLLs it imports
#   soak             tests/e2e/test_soak_restarts.sh with ZONBEK_SOAK_CYCLES restarts
# The bench's Wine session, like the soak's, runs without address space randomisation (setarch -R).
#   other build      with ZONBEK_BENCH_OTHER_BUILD (a build holding another compiler's zonbeksvc.exe): that
#                    exe runs as the service too, right after the service in every run, so that both
#                    builds are measured under the same conditions
# Environment: ZONBEK_BENCH_RUNS (5), ZONBEK_BENCH_LAUNCHES (500 per run), ZONBEK_BENCH_STOPS (10),
# ZONBEK_SOAK_CYCLES (10000; 0 leaves the soak out), ZONBEK_WINDOWS_BUILD as for the tests.
# shellcheck source=../e2e/lib.sh
. "$(dirname "${BASH_SOURCE[0]}")/../e2e/lib.sh"
# shellcheck disable=SC2034 # both read by lib.sh
E2E_NAME=bench
RUNS=${ZONBEK_BENCH_RUNS:-5}
LAUNCHES=${ZONBEK_BENCH_LAUNCHES:-500}
STOPS=${ZONBEK_BENCH_STOPS:-10}
SOAK_CYCLES=${ZONBEK_SOAK_CYCLES:-10000}
CPU_WINDOWS=3
# shellcheck disable=SC2034
HANG_SECONDS=$((LAUNCHES / 5 + 120))

BENCHCTL_EXE=$WINDOWS_BUILD/bench/benchctl.exe
LOOPSVC_EXE=$WINDOWS_BUILD/bench/loopsvc.exe
BENCH_TOOL_EXE=$WINDOWS_BUILD/bench/zonbek.exe
BENCHCTL_WIN='C:\bench\benchctl.exe'
OTHER_EXE=${ZONBEK_BENCH_OTHER_BUILD:+$ZONBEK_BENCH_OTHER_BUILD/zonbeksvc.exe}
for missing in "$BENCHCTL_EXE" "$LOOPSVC_EXE" "$BENCH_TOOL_EXE" $OTHER_EXE; do
    [[ -f $missing ]] || die "$missing is missing: build the windows preset first"
done

# summary NAME UNIT VALUE...: one line with the median and the range of the values.
summary() {
    local name=$1 unit=$2
    shift 2
    (($# > 0)) || { printf '%-34s no runs\n' "$name"; return; }
    printf '%s\n' "$@" | sort -g | awk -v name="$name" -v unit="$unit" '
        { v[NR] = $1 }
        END {
            median = (NR % 2) ? v[(NR + 1) / 2] : (v[NR / 2] + v[NR / 2 + 1]) / 2
            printf "%-34s median %10.3f %-4s  (min %.3f, max %.3f, %d runs)\n", name, median, unit, v[1], v[NR], NR
        }'
}

field() { sed -n "s/.*\b$1=\([0-9.]*\).*/\1/p" <<<"$2"; }

benchctl() { wine_quiet "$BENCHCTL_WIN" "$@"; }

# The Linux process of this prefix whose command line starts with $1 (a service's Windows path).
service_unix_pid() {
    local pid
    for pid in $(pgrep -f "${1##*\\}"); do
        [[ $(tr '\0' ' ' 2>/dev/null <"/proc/$pid/cmdline") == "$1"* ]] || continue
        tr '\0' '\n' 2>/dev/null <"/proc/$pid/environ" | grep -qxF "WINEPREFIX=$WINEPREFIX" && echo "$pid" && return
    done
}

# run_service NAME EXE: benchctl service NAME LAUNCHES, its line followed by cpu_ms_per_launch= for the
# service's process EXE; fails as benchctl does.
run_service() {
    local out=$E2E_WORK/run_service.out pid= line fields first= last= bench status=0
    benchctl service "$1" "$LAUNCHES" >"$out" &
    bench=$!
    while kill -0 "$bench" 2>/dev/null; do
        [[ -n $pid ]] || pid=$(service_unix_pid "$2")
        # User and system time in clock ticks, threads that have ended included.
        if [[ -n $pid ]] && read -r line 2>/dev/null <"/proc/$pid/stat"; then
            read -ra fields <<<"${line##*) }"
            last=$((fields[11] + fields[12]))
            first=${first:-$last}
        fi
        sleep 0.05
    done
    wait "$bench" || status=$?
    echo "$(cat "$out") cpu_ms_per_launch=$(awk -v a="${first:-0}" -v b="${last:-0}" -v n="$LAUNCHES" \
        -v hz="$(getconf CLK_TCK)" 'BEGIN { printf "%.3f", (b - a) * 1000 / hz / n }')"
    return "$status"
}

e2e_begin
mkdir -p "$WINEPREFIX/drive_c/bench"
cp "$BENCHCTL_EXE" "$WINEPREFIX/drive_c/bench/benchctl.exe"
cp "$LOOPSVC_EXE" "$WINEPREFIX/drive_c/bench/loopsvc.exe"
# No trace channels: the service must not pay for a trace the bare loop does not write. No address space
# randomisation either, as in the soak (see SESSION_FIXED_LAYOUT in lib.sh), for both sides alike.
# shellcheck disable=SC2034 # read by lib.sh
SESSION_FIXED_LAYOUT=1
setarch "$(uname -m)" -R wineserver -p
WINEDEBUG=-all LC_ALL=C.UTF-8 timeout 120 setarch "$(uname -m)" -R wine "$SVCCTL_WIN" ping >/dev/null 2>&1 ||
    die "the Wine session did not start"
install_service
wine_quiet sc create zonbekloop binPath= 'C:\bench\loopsvc.exe zonbekloop' >/dev/null || die "sc create zonbekloop failed"
set_install_dir "$INSTALL_DIR_WIN"
install_tool

echo "== restart rate and exit-to-launch time: $RUNS runs of $LAUNCHES launches each, the loops and the service in turn"
cp "$BENCH_TOOL_EXE" "$TOOL_DIR/zonbek.exe"
bare_rates=() service_rates=() ratios=() bare_gaps=() service_gaps=()
overlapped_rates=() overlapped_gaps=() loop_rates=() loop_gaps=() loop_ratios=()
other_rates=() other_gaps=() other_ratios=() other_loop_ratios=() service_cpu=() loop_cpu=() other_cpu=()
for run in $(seq "$RUNS"); do
    bare=$(benchctl bare "$INSTALL_DIR_WIN\\zonbek.exe" "$INSTALL_DIR_WIN" "$LAUNCHES") || die "benchctl bare: $bare"
    echo "run $run bare loop:   $bare"
    # The references only explain the figures: a failed run of one is told and left out.
    overlapped=$(benchctl bare "$INSTALL_DIR_WIN\\zonbek.exe" "$INSTALL_DIR_WIN" "$LAUNCHES" overlapped) || overlapped=
    echo "run $run + overlapped: ${overlapped:-failed: $(tail -n 1 "$COMMAND_LOG")}"
    loop=$(run_service zonbekloop 'C:\bench\loopsvc.exe') || loop=
    svcctl wait zonbekloop 30000 >/dev/null || die "the minimal service did not end after run $run"
    echo "run $run minimal service: ${loop:-failed: $(tail -n 1 "$COMMAND_LOG")}"
    service=$(run_service zonbek 'C:\zonbek\zonbeksvc.exe') || die "benchctl service: $service"
    svcctl wait zonbek 30000 >/dev/null || die "the service did not end after run $run"
    echo "run $run service:     $service"
    if [[ -n $OTHER_EXE ]]; then
        cp "$OTHER_EXE" "$WINEPREFIX/drive_c/zonbek/zonbeksvc.exe"
        other=$(run_service zonbek 'C:\zonbek\zonbeksvc.exe') || die "benchctl service (other build): $other"
        svcctl wait zonbek 30000 >/dev/null || die "the other build's service did not end after run $run"
        cp "$SERVICE_EXE" "$WINEPREFIX/drive_c/zonbek/zonbeksvc.exe"
        echo "run $run other build: $other"
        other_rates+=("$(field rate "$other")")
        other_gaps+=("$(field gap_ms_median "$other")")
        other_ratios+=("$(awk -v o="$(field rate "$other")" -v s="$(field rate "$service")" 'BEGIN { printf "%.4f", s / o }')")
        other_cpu+=("$(field cpu_ms_per_launch "$other")")
        [[ -z $loop ]] || other_loop_ratios+=("$(awk -v o="$(field rate "$other")" -v l="$(field rate "$loop")" 'BEGIN { printf "%.4f", o / l }')")
    fi
    bare_rates+=("$(field rate "$bare")")
    service_rates+=("$(field rate "$service")")
    service_cpu+=("$(field cpu_ms_per_launch "$service")")
    ratios+=("$(awk -v s="$(field rate "$service")" -v b="$(field rate "$bare")" 'BEGIN { printf "%.4f", s / b }')")
    bare_gaps+=("$(field gap_ms_median "$bare")")
    service_gaps+=("$(field gap_ms_median "$service")")
    if [[ -n $overlapped ]]; then
        overlapped_rates+=("$(field rate "$overlapped")")
        overlapped_gaps+=("$(field gap_ms_median "$overlapped")")
    fi
    if [[ -n $loop ]]; then
        loop_rates+=("$(field rate "$loop")")
        loop_gaps+=("$(field gap_ms_median "$loop")")
        loop_cpu+=("$(field cpu_ms_per_launch "$loop")")
        loop_ratios+=("$(awk -v s="$(field rate "$service")" -v l="$(field rate "$loop")" 'BEGIN { printf "%.4f", s / l }')")
    fi
done

echo "== stop to stopped: $STOPS stops of a tool that ends at once on Ctrl+C"
cp "$TOOL_EXE" "$TOOL_DIR/zonbek.exe"
tool_config "ctrlc 0"
stopped=() exited=()
for run in $(seq "$STOPS"); do
    rm -f "$(tool_file zonbek.ready)"
    start_service >/dev/null
    wait_for_tool_file zonbek.ready
    out=$(benchctl stoptime zonbek) || die "benchctl stoptime: $out"
    svcctl waitpid "$SERVICE_PID" 30000 >/dev/null || die "the service did not end after stop $run"
    echo "stop $run: $out"
    [[ $(field exit "$out") == 0 ]] || die "stop $run ended with exit code $(field exit "$out")"
    stopped+=("$(field stopped_ms "$out")")
    exited+=("$(field exited_ms "$out")")
done

echo "== idle CPU: the service over $CPU_WINDOWS windows of 10 s while its tool sleeps"
tool_config "hold;exit 3"
rm -f "$(tool_file zonbek.ready)" "$(tool_file zonbek.release)"
start_service >/dev/null
wait_for_tool_file zonbek.ready
mapfile -t unix < <(unix_pids 'C:\zonbek\zonbeksvc.exe')
((${#unix[@]} == 1)) || die "expected one Linux process running the service, found ${#unix[@]}"
# CPU nanoseconds (schedstat) and context switches, summed over the threads of the Wine process.
cpu_sample() {
    local task ns=0 switches=0 first rest tasks=(/proc/"${unix[0]}"/task/*)
    for task in "${tasks[@]}"; do
        read -r first rest <"$task/schedstat"
        ns=$((ns + first))
        switches=$((switches + $(awk '/^(non)?voluntary_ctxt_switches/ { s += $2 } END { print s }' "$task/status")))
    done
    echo "$ns $switches ${#tasks[@]}"
}
cpu_us=() wakeups=()
for window in $(seq "$CPU_WINDOWS"); do
    read -r ns0 sw0 threads0 < <(cpu_sample)
    sleep 10
    read -r ns1 sw1 threads1 < <(cpu_sample)
    echo "window $window: cpu_us=$(((ns1 - ns0) / 1000)) context_switches=$((sw1 - sw0)) threads=$threads0/$threads1 (since the start: cpu_us=$((ns1 / 1000)) context_switches=$sw1)"
    cpu_us+=($(((ns1 - ns0) / 1000)))
    wakeups+=($((sw1 - sw0)))
done
tool_release
svcctl waitpid "$SERVICE_PID" 30000 >/dev/null || die "the service did not end after the idle windows"

echo "== size"
stripped=$E2E_WORK/zonbeksvc.stripped.exe
x86_64-w64-mingw32-strip -o "$stripped" "$SERVICE_EXE"
size=$(stat -c %s "$stripped")
imports=$(x86_64-w64-mingw32-objdump -p "$stripped" | sed -n 's/^\s*DLL Name: //p' | sort | tr '\n' ' ')
echo "zonbeksvc.exe: $(stat -c %s "$SERVICE_EXE") bytes as built, $size bytes stripped; imports: $imports"
if [[ -n $OTHER_EXE ]]; then
    x86_64-w64-mingw32-strip -o "$E2E_WORK/other.stripped.exe" "$OTHER_EXE"
    other_size=$(stat -c %s "$E2E_WORK/other.stripped.exe")
    echo "other build's zonbeksvc.exe: $(stat -c %s "$OTHER_EXE") bytes as built, $other_size bytes stripped"
fi

end_wine

if ((SOAK_CYCLES > 0)); then
    echo "== soak: $SOAK_CYCLES restarts (tests/e2e/test_soak_restarts.sh)"
    soak_log=$E2E_WORK/soak.log
    started=$SECONDS
    ZONBEK_SOAK_CYCLES=$SOAK_CYCLES bash "$E2E_DIR/test_soak_restarts.sh" 2>"$soak_log" ||
        { cat "$soak_log" >&2; die "the soak failed"; }
    grep -E 'after [0-9]+ cycles|cycles in|checkpoints|PASS' "$soak_log"
    echo "soak took $((SECONDS - started))s"
fi

echo
echo "== summary"
summary "bare loop, launches/s" "/s" "${bare_rates[@]}"
summary "service, restarts/s" "/s" "${service_rates[@]}"
summary "service / bare loop (per run)" "" "${ratios[@]}"
summary "bare loop, exit to launch" "ms" "${bare_gaps[@]}"
summary "service, exit to launch" "ms" "${service_gaps[@]}"
summary "reference: minimal service, /s" "/s" "${loop_rates[@]}"
summary "reference: minimal service, gap" "ms" "${loop_gaps[@]}"
summary "service / minimal service (per run)" "" "${loop_ratios[@]}"
summary "service CPU per launch" "ms" "${service_cpu[@]}"
summary "reference: minimal service CPU" "ms" "${loop_cpu[@]}"
summary "reference: + overlapped read, /s" "/s" "${overlapped_rates[@]}"
summary "reference: + overlapped read, gap" "ms" "${overlapped_gaps[@]}"
summary "stop control to stopped report" "ms" "${stopped[@]}"
summary "stop control to process end" "ms" "${exited[@]}"
summary "service CPU per 10 s, tool asleep" "us" "${cpu_us[@]}"
summary "service context switches per 10 s" "" "${wakeups[@]}"
if [[ -n $OTHER_EXE ]]; then
    summary "other build, restarts/s" "/s" "${other_rates[@]}"
    summary "other build, exit to launch" "ms" "${other_gaps[@]}"
    summary "service / other build (per run)" "" "${other_ratios[@]}"
    summary "other build / minimal service" "" "${other_loop_ratios[@]}"
    summary "other build CPU per launch" "ms" "${other_cpu[@]}"
fi
printf '%-34s %d bytes stripped; imports %s\n' "zonbeksvc.exe" "$size" "$imports"
[[ -z $OTHER_EXE ]] || printf '%-34s %d bytes stripped\n' "other build's zonbeksvc.exe" "$other_size"
