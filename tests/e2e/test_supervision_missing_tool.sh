#!/usr/bin/env bash
# No zonbek.exe in the installation directory: the launch failure is reported with the failure text,
# the tool path, the command line and the working directory, and the service stops with 1066.
. "$(dirname "${BASH_SOURCE[0]}")/lib.sh"
e2e_begin
session_start
install_service
set_install_dir "$INSTALL_DIR_WIN"
mkdir -p "$(unix_path "$INSTALL_DIR_WIN")"

start_service
wait_service_exit

expect_reports \
    "$(status START_PENDING 0 0 1 3000)" \
    "$(event 0xC0020002 KavixZonbek 'CreateProcess(zonbek) failed with 2' \
        "$INSTALL_DIR_WIN\\zonbek.exe" 'zonbek.exe --service' "$INSTALL_DIR_WIN")" \
    "$(status STOPPED 1 1066 0 0)"
assert_match '^state=1 controls=1 exit=1066 specific=0 ' "$(service_query)" "the service manager's view after the end"
