#!/usr/bin/env bash
# An installation directory that ends in a backslash is used as it is: the tool path gets a second
# backslash and the working directory keeps its trailing one.
. "$(dirname "${BASH_SOURCE[0]}")/lib.sh"
e2e_begin
session_start
install_service
set_install_dir "$INSTALL_DIR_WIN\\"
mkdir -p "$(unix_path "$INSTALL_DIR_WIN")"

# Without the tool, the failure event shows both composed strings exactly.
start_service
wait_service_exit
expect_reports \
    "$(status START_PENDING 0 0 1 3000)" \
    "$(event 0xC0020002 KavixZonbek 'CreateProcess(zonbek) failed with 2' \
        "$INSTALL_DIR_WIN\\\\zonbek.exe" 'zonbek.exe --service' "$INSTALL_DIR_WIN\\")" \
    "$(status STOPPED 1 1066 0 0)"

# With the tool, the doubled backslash still names it and it runs from the directory.
install_tool
tool_config "record;exit 4"
start_service
wait_service_exit
assert_eq 1 "$(tool_launches)" "number of launches"
assert_file_content "$(tool_file zonbek.cmdline)" 'zonbek.exe --service' "the tool's command line"
assert_file_content "$(tool_file zonbek.cwd)" "$INSTALL_DIR_WIN" "the tool's current directory"
expect_reports \
    "$(status START_PENDING 0 0 1 3000)" \
    "$(status RUNNING 1 0 0 0)" \
    "$(event 0xC0020003)" \
    "$(status STOPPED 1 0 0 0)"
