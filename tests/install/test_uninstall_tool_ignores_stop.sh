#!/usr/bin/env bash
# A tool that ignores Ctrl+C keeps the service stop pending: uninstall.cmd waits as long as it was
# told, then removes nothing and says what to do. Once the tool has ended, uninstall.cmd succeeds.
. "$(dirname "${BASH_SOURCE[0]}")/lib.sh"
package_begin
install_tool
tool_config "ignorectrlc;hold;exit 6"

run_script install.cmd "$INSTALL_DIR_WIN"
expect_script 0 "Installed the service zonbek"
start_service
wait_for_tool_file zonbek.ready

run_script uninstall.cmd 2
expect_script 8 "the service zonbek is still stopping" "Nothing was removed."
assert_file_content "$(tool_file zonbek.ctrlc)" "ctrl 0" "Ctrl+C events the tool saw"
assert_eq 3 "$(service_state)" "the service's state after the refused uninstall.cmd"
expect_installed "$INSTALL_DIR_WIN" "after the refused uninstall.cmd"

tool_release
wait_service_exit
run_script uninstall.cmd 2
expect_script 0 "Removed the service zonbek." "The service zonbek is uninstalled."
expect_not_installed "after uninstall.cmd"
