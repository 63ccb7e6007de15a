#!/usr/bin/env bash
# An installation's whole life from a folder whose path has a space: install.cmd creates the service,
# InstallDir and the event source; the service runs the tool from the tool's folder; uninstall.cmd
# stops the running service (Ctrl+C to the tool), waits for it and removes all three. A drive root given
# to install.cmd loses its backslash as any folder does.
. "$(dirname "${BASH_SOURCE[0]}")/lib.sh"
package_begin
install_tool
tool_config "record;ctrlc 0"
expect_not_installed "before install.cmd"

run_script install.cmd "$INSTALL_DIR_WIN"
expect_script 0 "Installed the service zonbek"
expect_installed "$INSTALL_DIR_WIN" "after install.cmd"
assert_eq 1 "$(service_state)" "the service's state after install.cmd"

start_service
wait_for_tool_file zonbek.ready
assert_eq 4 "$(service_state)" "the service's state while the tool runs"
assert_file_content "$(tool_file zonbek.cmdline)" "zonbek.exe --service" "the tool's command line"
assert_file_content "$(tool_file zonbek.cwd)" "$INSTALL_DIR_WIN" "the tool's working directory"
expect_installed "$INSTALL_DIR_WIN" "while the service runs"

run_script uninstall.cmd
expect_script 0 "Stopping the service zonbek" "Removed the service zonbek." "Removed the event source KavixZonbek." \
    "The service zonbek is uninstalled."
assert_file_content "$(tool_file zonbek.ctrlc)" "ctrl 0" "Ctrl+C events the tool saw"
wait_service_exit
expect_reports \
    "$(status START_PENDING 0 0 1 3000)" \
    "$(status RUNNING 1 0 0 0)" \
    "$(status STOP_PENDING 1 0 2 10000)" \
    "$(status STOPPED 1 0 0 0)"
assert_eq 1 "$(tool_launches)" "number of launches"
expect_not_installed "after uninstall.cmd"

# InstallDir C: makes the tool C:\zonbek.exe; C:\ would make it C:\\zonbek.exe.
cp "$TOOL_EXE" "$(unix_path 'C:\zonbek.exe')"
run_script install.cmd 'C:\'
assert_eq "REG_SZ C:" "$(reg_value "$INSTALL_KEY" InstallDir)" "InstallDir after install.cmd C:\\"
