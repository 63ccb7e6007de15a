#!/usr/bin/env bash
# The tool sees the command line "zonbek.exe --service", the installation directory as its current
# directory, no standard input, and an output that only the service's account may open.
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
# Only SYSTEM and the service's own account (Wine's one user) may open the output pipe.
assert_match '^D:\(A;;FA;;;SY\)\(A;;FA;;;S-1-5-21-[0-9-]+\)$' "$(cat "$(tool_file zonbek.stdout-dacl)")" "the DACL of the tool's output"
