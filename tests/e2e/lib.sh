# shellcheck shell=bash
# Shared by the Wine end-to-end tests: a private Wine prefix per test, the service installed in it, the
# test tool beside it, and the Wine trace turned into the service's status reports and events.
# One test runs alone as `bash tests/e2e/test_NAME.sh` once the windows preset is built.
#
# Environment:
#   ZONBEK_WINDOWS_BUILD  the cross build holding zonbeksvc.exe (default: build/windows)
#   ZONBEK_WINE_TEMPLATE  where the template prefix is kept (default: build/wine-template)
#   ZONBEK_E2E_KEEP=1     keep the test's prefix and trace instead of removing them
#   ZONBEK_E2E_HANG       seconds after which a single Wine command counts as hung (default 120)
#   ZONBEK_E2E_FIXED_LAYOUT=0  start Wine's processes with address space randomisation (see fixed_layout)

set -euo pipefail

E2E_DIR=$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)
REPO_DIR=$(cd "$E2E_DIR/../.." && pwd)
WINDOWS_BUILD=${ZONBEK_WINDOWS_BUILD:-$REPO_DIR/build/windows}
WINE_TEMPLATE=${ZONBEK_WINE_TEMPLATE:-$REPO_DIR/build/wine-template}
HANG_SECONDS=${ZONBEK_E2E_HANG:-120}

SERVICE_EXE=$WINDOWS_BUILD/zonbeksvc.exe
SVCCTL_EXE=$WINDOWS_BUILD/e2e/svcctl.exe
TOOL_EXE=$WINDOWS_BUILD/testtool/zonbek.exe

SERVICE_WIN='C:\zonbek\zonbeksvc.exe'
SVCCTL_WIN='C:\e2e\svcctl.exe'
# A space in the default installation directory keeps path and command-line quoting honest.
INSTALL_DIR_WIN='C:\Program Files\Kavix\Zonbek'
INSTALL_KEY='HKLM\Software\Kavix\Zonbek'

# What the service writes shows up in the Wine trace: events through the ReportEvent stubs (a warning's
# strings on the warn channel, an error's on the err channel), status
# reports and control deliveries through the service channel.
TRACE_CHANNELS='-all,fixme+advapi,err+eventlog,warn+eventlog,+pid,trace+service'
# Only the prefix this script makes is ever touched.
unset WINEPREFIX
export WINEDLLOVERRIDES='mscoree,mshtml=;winemenubuilder.exe=d'

E2E_NAME=$(basename "$0" .sh)
E2E_WORK=
TRACE=
COMMAND_LOG=

log() { printf '[%s] %s\n' "$E2E_NAME" "$*" >&2; }

# ---------------------------------------------------------------------------------------------------
# Prefix and session

wine_version() { wine --version 2>/dev/null || echo unknown; }

# wineboot -i takes seconds and hundreds of megabytes, so it runs once; tests copy the result.
ensure_template() {
    mkdir -p "$(dirname "$WINE_TEMPLATE")"
    local lock
    exec {lock}>"$WINE_TEMPLATE.lock"
    flock "$lock"
    if [[ ! -f $WINE_TEMPLATE/.zonbek-template || $(cat "$WINE_TEMPLATE/.zonbek-template") != "$(wine_version)" ]]; then
        log "making the Wine template prefix $WINE_TEMPLATE"
        rm -rf "$WINE_TEMPLATE" "$WINE_TEMPLATE.new"
        WINEPREFIX=$WINE_TEMPLATE.new WINEDEBUG=-all fixed_layout timeout "$HANG_SECONDS" wine wineboot -i >/dev/null 2>&1 ||
            { flock -u "$lock"; die "wineboot -i failed for the template prefix"; }
        WINEPREFIX=$WINE_TEMPLATE.new timeout "$HANG_SECONDS" wineserver -w || true
        wine_version >"$WINE_TEMPLATE.new/.zonbek-template"
        mv "$WINE_TEMPLATE.new" "$WINE_TEMPLATE"
    fi
    flock -u "$lock"
    exec {lock}>&-
}

# Starts a test: a fresh prefix copied from the template, with the service and the control helper in
# it. Everything is removed again when the script exits.
e2e_begin() {
    local missing
    for missing in "$SERVICE_EXE" "$SVCCTL_EXE" "$TOOL_EXE"; do
        [[ -f $missing ]] || die "$missing is missing: build the windows preset first (cmake --preset windows && cmake --build --preset windows)"
    done
    command -v wine >/dev/null || die "wine is not installed"

    E2E_WORK=$(mktemp -d "${TMPDIR:-/tmp}/zonbek-e2e.$E2E_NAME.XXXXXX")
    TRACE=$E2E_WORK/trace.log
    COMMAND_LOG=$E2E_WORK/commands.log
    : >"$TRACE"
    : >"$COMMAND_LOG"
    trap e2e_end EXIT
    trap 'exit 130' INT TERM

    ensure_template
    export WINEPREFIX=$E2E_WORK/prefix
    cp -a "$WINE_TEMPLATE" "$WINEPREFIX"
    mkdir -p "$WINEPREFIX/drive_c/zonbek" "$WINEPREFIX/drive_c/e2e"
    cp "$SERVICE_EXE" "$WINEPREFIX/drive_c/zonbek/zonbeksvc.exe"
    cp "$SVCCTL_EXE" "$WINEPREFIX/drive_c/e2e/svcctl.exe"
    log "work directory $E2E_WORK"
}

e2e_end() {
    local status=$?
    set +e
    trap - EXIT
    if [[ $status -ne 0 && -n $E2E_WORK ]]; then
        {
            echo "---- reports of the service process(es) ----"
            parse_trace
            echo "---- last lines of the trace ($TRACE) ----"
            grep -v -e ':trace:service:load_service_config' -e ':trace:service:scmdatabase_load_services' "$TRACE" | tail -n 40
            echo "---- wine command log ----"
            tail -n 20 "$COMMAND_LOG"
        } >&2
    fi
    end_wine
    if [[ -n $E2E_WORK ]]; then
        if [[ ${ZONBEK_E2E_KEEP:-0} == 1 ]]; then
            log "kept $E2E_WORK"
        else
            rm -rf "$E2E_WORK"
        fi
    fi
    if [[ $status -eq 0 ]]; then log "PASS"; else log "FAIL"; fi
    exit "$status"
}

# Ends every process of the prefix's session, and with them the service and the tools.
end_wine() {
    [[ -n ${WINEPREFIX:-} && -d $WINEPREFIX ]] || return 0
    timeout 30 wineserver -k >/dev/null 2>&1 || true
    timeout 30 wineserver -w >/dev/null 2>&1 || true
    # The server leaves a directory named after the prefix's device and inode behind, under TMPDIR in
    # Debian's Wine.
    local dev inode server
    read -r dev inode < <(stat -c '%D %i' "$WINEPREFIX")
    server=$(printf 'server-%x-%x' "0x$dev" "$inode")
    rm -rf "${TMPDIR:-/tmp}"/wine-*/"$server" "/tmp/.wine-$(id -u)/$server"
}

# fixed_layout COMMAND...: runs COMMAND, and every process it starts, without address space
# randomisation (setarch -R); every Wine command of the tests goes through here. With randomisation the
# kernel may place the heap of Wine's loader (fixed at 0x7d000000) over 0x7ffe0000, where each new
# process maps its shared user data, and about one process start in a few thousand dies. A lost tool
# makes CreateProcessA fail with 1359; a lost console host makes the service's AllocConsole fail with 1,
# since Wine's AllocConsole then calls Wow64RevertWow64FsRedirection, which fails with that error in a
# 64-bit process and hides CreateProcessW's.
SESSION_FIXED_LAYOUT=${ZONBEK_E2E_FIXED_LAYOUT:-1}
fixed_layout() {
    if [[ $SESSION_FIXED_LAYOUT == 1 ]]; then setarch "$(uname -m)" -R "$@"; else "$@"; fi
}

# The first Wine command of a session starts services.exe, and services.exe, every service and every
# tool inherit that command's environment, standard error (the trace) and address space layout.
# wineserver -p keeps the session, and so the trace, alive until the test ends.
session_start() {
    local channels=$TRACE_CHANNELS${1:+,$1}
    fixed_layout wineserver -p
    WINEDEBUG=$channels LC_ALL=C.UTF-8 fixed_layout timeout "$HANG_SECONDS" wine "$SVCCTL_WIN" ping >/dev/null 2>>"$TRACE" ||
        die "the Wine session did not start"
}

# Ends the session and waits until it is gone; registry writes survive it.
session_end() {
    timeout 30 wineserver -k >/dev/null 2>&1 || true
    timeout 30 wineserver -w >/dev/null 2>&1 || true
}

# relay_include FUNCTIONS: what +relay traces ("dll.Function;..."). Relay settings are read when a
# process starts, so they are set in a session of their own, before the test's.
relay_include() {
    session_start
    wine_quiet reg add 'HKCU\Software\Wine\Debug' /v RelayInclude /t REG_SZ /d "$1" /f >/dev/null
    session_end
}

# Runs a Windows program quietly; prints its standard output without CRs and returns its exit code.
wine_quiet() {
    local status=0
    {
        echo "\$ wine $*"
        WINEDEBUG=-all LC_ALL=C.UTF-8 fixed_layout timeout -k 5 "$HANG_SECONDS" wine "$@" >"$E2E_WORK/stdout" 2>>"$COMMAND_LOG" ||
            status=$?
        echo "exit $status"
    } >>"$COMMAND_LOG"
    tr -d '\r' <"$E2E_WORK/stdout" | tee -a "$COMMAND_LOG"
    [[ $status -ne 124 ]] || die "wine $* hung for ${HANG_SECONDS}s"
    return "$status"
}

svcctl() { wine_quiet "$SVCCTL_WIN" "$@"; }

# Runs the service program by hand, outside the service manager, with its trace in the test's trace.
run_by_hand() {
    local status=0
    WINEDEBUG=$TRACE_CHANNELS LC_ALL=C.UTF-8 fixed_layout timeout -k 5 "$HANG_SECONDS" wine "$SERVICE_WIN" "$@" \
        >>"$COMMAND_LOG" 2>>"$TRACE" || status=$?
    [[ $status -ne 124 ]] || die "zonbeksvc.exe $* hung for ${HANG_SECONDS}s"
    return "$status"
}

# ---------------------------------------------------------------------------------------------------
# Installation

unix_path() {
    local win=$1 rest
    [[ $win == [Cc]:* ]] || die "not a C: path: $win"
    rest=${win:2}
    rest=${rest//\\//}
    printf '%s/drive_c%s\n' "$WINEPREFIX" "$rest"
}

install_service() {
    wine_quiet sc create zonbek binPath= "$SERVICE_WIN" >/dev/null || die "sc create zonbek failed"
}

# set_install_dir VALUE [TYPE]
set_install_dir() {
    wine_quiet reg add "$INSTALL_KEY" /v InstallDir /t "${2:-REG_SZ}" /d "$1" /f >/dev/null ||
        die "reg add InstallDir failed"
}

# The test tool as zonbek.exe in the installation directory.
TOOL_DIR=
install_tool() {
    TOOL_DIR=$(unix_path "$INSTALL_DIR_WIN")
    mkdir -p "$TOOL_DIR"
    cp "$TOOL_EXE" "$TOOL_DIR/zonbek.exe"
}

# tool_config LINE...: line N is what the N-th launch does (the last line for every later launch).
tool_config() {
    [[ -n $TOOL_DIR ]] || die "install_tool first"
    printf '%s\n' "$@" >"$TOOL_DIR/zonbek.cfg"
}

tool_file() { printf '%s/%s\n' "$TOOL_DIR" "$1"; }

tool_launches() {
    if [[ -f $TOOL_DIR/zonbek.count ]]; then cat "$TOOL_DIR/zonbek.count"; else echo 0; fi
}

# The Windows process id of the tool's N-th launch.
tool_pid() {
    local pid
    pid=$(sed -n "s/^launch $1 pid=//p" "$TOOL_DIR/zonbek.launches" 2>/dev/null)
    [[ -n $pid ]] || fail "the tool has not recorded its launch $1"
    echo "$pid"
}

# write_action FILE: the tool's "write" action that puts out FILE's bytes exactly: printable ASCII as it
# is, every other byte (and space, ; and \, which the configuration trims or splits at) as \xHH.
write_action() {
    local hex char out='write '
    for hex in $(od -An -v -tx1 "$1"); do
        case $hex in
            20 | 3b | 5c | 7f | [0-1]? | [8-9a-f]?) out+="\\x$hex" ;;
            *) printf -v char '%b' "\\x$hex" && out+=$char ;;
        esac
    done
    printf '%s\n' "$out"
}

# Tells a tool that waits in hold or ignorectrlc (and a holding grandchild) to go on.
tool_release() { : >"$TOOL_DIR/zonbek.release"; }

# The usual set-up for a service test: installed, configured, tool in place, session running.
setup_service() {
    session_start "${1:-}"
    install_service
    set_install_dir "$INSTALL_DIR_WIN"
    install_tool
}

# ---------------------------------------------------------------------------------------------------
# Waiting

# wait_for_tool_file NAME [LINES [SECONDS]]: waits until the tool has written NAME (with at least LINES
# lines), failing early if the service process ends first, and after SECONDS (default 30).
wait_for_tool_file() {
    local file=$TOOL_DIR/$1 lines=${2:-0} limit=${3:-30}
    local deadline=$((SECONDS + limit)) next_check=$SECONDS
    [[ -n $SERVICE_PID ]] || SERVICE_PID=$(trace_service_pid)
    until [[ -f $file ]] && (($(wc -l <"$file") >= lines)); do
        ((SECONDS < deadline)) || fail "timed out after ${limit}s waiting for the tool to write $1"
        if ((SECONDS >= next_check)); then
            svcctl alive "$SERVICE_PID" >/dev/null || [[ -f $file ]] ||
                fail "the service process ended before the tool wrote $1"
            next_check=$((SECONDS + 1))
        fi
        sleep 0.05
    done
}

# start_service: prints the svcctl line; sets SERVICE_PID (decimal) and START_ERROR, StartService's
# answer (0, or Wine's 1053 for a service whose first report was not start pending or running).
SERVICE_PID=
START_ERROR=
start_service() {
    local out
    out=$(svcctl start zonbek 30000) || fail "svcctl start zonbek: $out"
    echo "$out"
    # shellcheck disable=SC2034 # read by the tests
    START_ERROR=$(sed -n 's/.* startservice=\([0-9]*\) .*/\1/p' <<<"$out")
    SERVICE_PID=$(sed -n 's/.* service_pid=\([0-9]*\) .*/\1/p' <<<"$out")
    if [[ -z $SERVICE_PID || $SERVICE_PID == 0 ]]; then
        SERVICE_PID=$(trace_service_pid)
    fi
}

# The service process that registered the event source, from the trace (decimal).
trace_service_pid() {
    local hex
    hex=$(grep -a ':fixme:advapi:RegisterEventSourceA ((null),"KavixZonbek")' "$TRACE" | tail -n 1 | cut -d: -f1)
    [[ -n $hex ]] || fail "no service process registered KavixZonbek in the trace"
    echo $((16#$hex))
}

# Waits for the service process to end; only then is its trace complete.
wait_service_exit() {
    local seconds=${1:-30} out
    [[ -n $SERVICE_PID ]] || SERVICE_PID=$(trace_service_pid)
    out=$(svcctl waitpid "$SERVICE_PID" $((seconds * 1000))) ||
        fail "the service process $SERVICE_PID did not end within ${seconds}s: $out ($(svcctl query zonbek))"
    echo "$out"
}

# unix_pids PROGRAM: the Linux processes of this prefix's Wine session that run PROGRAM (the start of
# their command line), for figures that only Linux gives (CPU time, signals).
unix_pids() {
    local dir pid
    for dir in /proc/[0-9]*; do
        pid=${dir#/proc/}
        [[ $(tr '\0' ' ' <"$dir/cmdline" 2>/dev/null) == "$1"* ]] || continue
        tr '\0' '\n' <"$dir/environ" 2>/dev/null | grep -qxF "WINEPREFIX=$WINEPREFIX" || continue
        echo "$pid"
    done
}

# The service as the service manager has it now.
service_query() { svcctl query zonbek; }

# ---------------------------------------------------------------------------------------------------
# The trace, read back

# One line per report of every process that registered KavixZonbek, in trace order:
#   PID status STATE type=0x10 controls=N exit=N specific=N checkpoint=N hint=N
#   PID event 0xID type=N category=N "string" "string" ...
#   PID control N            (a control delivered to the service's handler)
#   PID call NAME ARGS       (StartServiceCtrlDispatcherA, RegisterServiceCtrlHandler, CreateProcessA)
parse_trace() {
    [[ -f $TRACE ]] || return 0
    awk '
    function hex(s,    i, c, v) {
        s = tolower(s); sub(/^0x/, "", s); v = 0
        for (i = 1; i <= length(s); i++) { c = index("0123456789abcdef", substr(s, i, 1)); if (c == 0) return v; v = v * 16 + c - 1 }
        return v
    }
    function num(s) { return (s ~ /^0x/) ? hex(s) : s + 0 }
    function state_name(n) {
        if (n == 1) return "STOPPED"
        if (n == 2) return "START_PENDING"
        if (n == 3) return "STOP_PENDING"
        if (n == 4) return "RUNNING"
        if (n == 5) return "CONTINUE_PENDING"
        if (n == 6) return "PAUSE_PENDING"
        if (n == 7) return "PAUSED"
        return "STATE_" n
    }
    # An event is the ReportEventA line and then one line per string, all from one thread.
    function emit(thread) {
        print pid " event " ev_head[thread] ev_strings[thread]
        delete ev_left[thread]; delete ev_head[thread]; delete ev_strings[thread]
    }
    {
        split($0, prefix, ":")
        pid = prefix[1]; thread = prefix[1] ":" prefix[2]
        if (pid !~ /^[0-9a-f]+$/) next
    }
    /:fixme:advapi:RegisterEventSourceA \(\(null\),"KavixZonbek"\)/ { ours[pid] = 1; next }
    !(pid in ours) { next }
    /:fixme:advapi:ReportEventA \(/ {
        args = $0; sub(/.*ReportEventA \(/, "", args); sub(/\).*/, "", args)
        split(args, a, ",")
        ev_head[thread] = sprintf("0x%08x type=%d category=%d", hex(a[4]), hex(a[2]), hex(a[3]))
        ev_strings[thread] = ""
        ev_left[thread] = hex(a[6])
        if (ev_left[thread] == 0) emit(thread)
        next
    }
    /:(err|warn):eventlog:ReportEventW / && (thread in ev_left) {
        s = $0; sub(/.*:(err|warn):eventlog:ReportEventW /, "", s); sub(/^L"/, "\"", s)
        ev_strings[thread] = ev_strings[thread] " " s
        if (--ev_left[thread] == 0) emit(thread)
        next
    }
    /:trace:service:SetServiceStatus / {
        s = $0; sub(/.*:trace:service:SetServiceStatus /, "", s)
        n = split(s, f, " ")
        if (n < 8) next
        printf "%s status %s type=0x%x controls=%d exit=%d specific=%d checkpoint=%d hint=%d\n", pid, \
            state_name(num(f[3])), num(f[2]), num(f[4]), num(f[5]), num(f[6]), num(f[7]), num(f[8])
        next
    }
    /:trace:service:service_handle_control L"zonbek" control / {
        s = $0; sub(/.* control /, "", s); sub(/ .*/, "", s)
        print pid " control " s
        next
    }
    /:trace:service:StartServiceCtrlDispatcherA / { print pid " call StartServiceCtrlDispatcherA"; next }
    /:trace:service:RegisterServiceCtrlHandlerExW L"zonbek"/ { print pid " call RegisterServiceCtrlHandler"; next }
    /:Call (KERNEL32|KERNELBASE|kernel32|kernelbase)\.CreateProcessA\(/ {
        s = $0; sub(/.*\.CreateProcessA\(/, "", s); sub(/\) ret=[0-9a-fA-F]*$/, "", s)
        print pid " call CreateProcessA " s
        next
    }
    ' "$TRACE"
}

# The reports of the service process: statuses and events in the order they were made.
service_reports() {
    local pid_hex
    pid_hex=$(printf '%04x' "$(trace_service_pid)")
    parse_trace | awk -v pid="$pid_hex" 'tolower($1) == pid && ($2 == "status" || $2 == "event") { $1 = ""; sub(/^ /, ""); print }'
}

# Every line of the parsed trace of one kind ("control", "call") for the service process.
service_lines() {
    local kind=$1 pid pid_hex
    pid=$(trace_service_pid)
    pid_hex=$(printf '%04x' "$pid")
    parse_trace | awk -v pid="$pid_hex" -v kind="$kind" 'tolower($1) == pid && $2 == kind { $1 = ""; $2 = ""; sub(/^  /, ""); print }'
}

# Expected report lines, in the parser's words.
# status STATE CONTROLS EXIT CHECKPOINT HINT   (type 0x10 and service-specific code 0 are implied)
status() { printf 'status %s type=0x10 controls=%d exit=%d specific=0 checkpoint=%d hint=%d\n' "$@"; }

# event ID STRING...   (type error, category 0; each string as the trace shows it, see trace_string)
event() {
    local id=$1 s out
    shift
    out=$(printf 'event 0x%08x type=1 category=0' "$id")
    for s in "$@"; do
        out+=" $(trace_string "$s")"
    done
    printf '%s\n' "$out"
}

# warning_event ID STRING...   (as event, of type warning)
warning_event() { event "$@" | sed 's/ type=1 / type=2 /'; }

# trace_string BYTES: how the trace shows one insertion string, quotes included. The string reaches the
# trace in code page 1252 turned into UTF-16: \r \n \t \" \\ escaped, other control characters and every
# character above 126 as a backslash and four hex digits. Wine keeps the escaped text up to column 290
# of a 300-byte buffer that starts with L" (so 289 plain characters) and adds ... after the closing quote
# when at least two characters were left out.
trace_string() {
    ZONBEK_TRACE_STRING=$1 LC_ALL=C awk 'BEGIN {
        for (i = 1; i < 256; i++) ord[sprintf("%c", i)] = i
        split("20ac 0081 201a 0192 201e 2026 2020 2021 02c6 2030 0160 2039 0152 008d 017d 008f " \
              "0090 2018 2019 201c 201d 2022 2013 2014 02dc 2122 0161 203a 0153 009d 017e 0178", cp1252, " ")
        s = ENVIRON["ZONBEK_TRACE_STRING"]; n = length(s); out = "\""; column = 2
        for (i = 1; i <= n && column <= 290; i++) {
            c = substr(s, i, 1); v = ord[c]
            if (c == "\n") e = "\\n"
            else if (c == "\r") e = "\\r"
            else if (c == "\t") e = "\\t"
            else if (c == "\"") e = "\\\""
            else if (c == "\\") e = "\\\\"
            else if (v >= 128 && v < 160) e = "\\" cp1252[v - 127]
            else if (v < 32 || v >= 127) e = sprintf("\\%04x", v)
            else e = c
            out = out e; column += length(e)
        }
        out = out "\""
        if (n - i + 1 >= 2) out = out "..."
        printf "%s", out
    }'
}

# bulk_output LAUNCH BYTES: what the tool's "bulk BYTES" action writes on its LAUNCH-th run.
bulk_output() {
    awk -v launch="$1" -v size="$2" 'BEGIN {
        for (k = 0; written < size; k++) {
            line = sprintf("run %d line %05d", launch, k)
            while (length(line) < 62) line = line "."
            line = line "\r\n"
            if (written + length(line) > size) line = substr(line, 1, size - written)
            printf "%s", line
            written += length(line)
        }
    }'
}

# The strings of the output event for the given output (on standard input): the last 4094 bytes, cut
# at CR and LF, empty lines dropped; a last line without its end is kept whole.
output_lines() {
    tail -c 4094 | tr '\r' '\n' | grep -v '^$' || true
}

# ---------------------------------------------------------------------------------------------------
# Assertions

die() {
    printf '[%s] ERROR: %s\n' "$E2E_NAME" "$*" >&2
    exit 2
}

fail() {
    printf '[%s] FAILED: %s\n' "$E2E_NAME" "$*" >&2
    exit 1
}

assert_eq() {
    local expected=$1 actual=$2 what=$3
    [[ $expected == "$actual" ]] || fail "$what: expected [$expected], got [$actual]"
}

assert_match() {
    local pattern=$1 actual=$2 what=$3
    [[ $actual =~ $pattern ]] || fail "$what: [$actual] does not match /$pattern/"
}

assert_file_content() {
    local file=$1 expected=$2 what=$3
    [[ -f $file ]] || fail "$what: $file was not written"
    assert_eq "$expected" "$(cat "$file")" "$what"
}

# assert_lines WHAT ACTUAL EXPECTED-LINE...: the whole list, in order.
assert_lines() {
    local what=$1 actual=$2 expected
    shift 2
    if (($# == 0)); then expected=""; else expected=$(printf '%s\n' "$@"); fi
    if [[ $actual != "$expected" ]]; then
        fail "$what differ (- expected, + actual):
$(diff <(printf '%s\n' "$expected") <(printf '%s\n' "$actual") | sed -n 's/^</-/p; s/^>/+/p')"
    fi
}

# expect_reports LINE...: the service process made exactly these reports, in this order.
expect_reports() {
    local actual
    actual=$(service_reports) || exit 1
    assert_lines "the service's status reports and events" "$actual" "$@"
}

assert_no_event() {
    local id actual
    id=$(printf '0x%08x' "$1")
    actual=$(service_reports) || exit 1
    if grep -q "^event $id " <<<"$actual"; then
        fail "unexpected event $id: $(grep "^event $id " <<<"$actual")"
    fi
}
