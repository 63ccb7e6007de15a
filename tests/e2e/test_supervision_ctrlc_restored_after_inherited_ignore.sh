#!/usr/bin/env bash
# A service started with Ctrl+C ignored still stops its tool: it restores normal Ctrl+C processing once
# it has its console, so the tool does not inherit the ignore and gets the stop's Ctrl+C. Here the
# binPath is a launcher that ignores Ctrl+C and starts the service detached, as the service manager
# does; Wine passes the setting on to the child, and its service manager takes that child's dispatcher
# connection as the service's. The first tool swallows Ctrl+C and sends it to every process on the
# console, the service included, then exits with 0: the service takes it and starts the tool again.
. "$(dirname "${BASH_SOURCE[0]}")/lib.sh"
e2e_begin
LAUNCHER_EXE=$WINDOWS_BUILD/e2e/ignorectrlc.exe
[[ -f $LAUNCHER_EXE ]] || die "$LAUNCHER_EXE is missing: build the windows preset first"
cp "$LAUNCHER_EXE" "$WINEPREFIX/drive_c/e2e/ignorectrlc.exe"

session_start
wine_quiet sc create zonbek binPath= "C:\\e2e\\ignorectrlc.exe $SERVICE_WIN" >/dev/null || die "sc create zonbek failed"
set_install_dir "$INSTALL_DIR_WIN"
install_tool
tool_config "ignorectrlc;broadcast;waitfor zonbek.ctrlc;exit 0" "out not to be reported;ctrlc 5"

start_service
wait_for_tool_file zonbek.ready
assert_file_content "$(tool_file zonbek.broadcast)" "ok" "the first tool's Ctrl+C to its console group"
out=$(svcctl stop zonbek) || fail "the stop control was refused: $out"
wait_for_tool_file zonbek.ctrlc 2 10
wait_service_exit

assert_file_content "$(tool_file zonbek.ctrlc)" $'ctrl 0\nctrl 0' "Ctrl+C events the two tools saw"
expect_reports \
    "$(status START_PENDING 0 0 1 3000)" \
    "$(status RUNNING 1 0 0 0)" \
    "$(status START_PENDING 0 0 2 3000)" \
    "$(status RUNNING 1 0 0 0)" \
    "$(status STOP_PENDING 1 0 3 10000)" \
    "$(status STOPPED 1 0 0 0)"
assert_eq 2 "$(tool_launches)" "number of launches"
