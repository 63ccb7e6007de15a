#!/usr/bin/env bash
# InstallDir must be REG_SZ: the same path stored as REG_EXPAND_SZ (or as a number) counts as not found.
. "$(dirname "${BASH_SOURCE[0]}")/lib.sh"
e2e_begin
session_start

set_install_dir "$INSTALL_DIR_WIN" REG_EXPAND_SZ
code=0
run_by_hand || code=$?
assert_eq 1 "$code" "exit code with a REG_EXPAND_SZ InstallDir"
expect_reports "$(event 0xC0020002 KavixZonbek 'zonbek InstallDir lookup failed with 0')"
assert_lines "service manager calls" "$(service_lines call)"

set_install_dir 7 REG_DWORD
code=0
run_by_hand || code=$?
assert_eq 1 "$code" "exit code with a REG_DWORD InstallDir"
expect_reports "$(event 0xC0020002 KavixZonbek 'zonbek InstallDir lookup failed with 0')"
assert_lines "service manager calls" "$(service_lines call)"
