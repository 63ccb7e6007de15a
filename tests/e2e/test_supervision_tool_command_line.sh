#!/usr/bin/env bash
# The tool sees the command line "zonbek.exe --service", the installation directory as its current
# directory, and no standard input.
. "$(dirname "${BASH_SOURCE[0]}")/lib.sh"
e2e_begin
setup_service
tool_config "record;exit 0" "exit 9"

start_service
wait_service_exit

assert_eq 2 "$(tool_launches)" "number of launches"
assert_file_content "$(tool_file zonbek.cmdline)" 'zonbek.exe --service' "the tool's command line"
assert_file_content "$(tool_file zonbek.cwd)" "$INSTALL_DIR_WIN" "the tool's current directory"
assert_file_content "$(tool_file zonbek.stdin)" 'null' "the tool's standard input"
