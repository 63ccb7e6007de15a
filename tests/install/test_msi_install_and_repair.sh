#!/usr/bin/env bash
# msiexec /i with TOOLDIR (a folder whose path has a space) installs the three files under Program
# Files, creates the service (own process, automatic start, LocalSystem, its names) without starting
# it, registers the event source with the installed DLL and sets InstallDir; the service then runs
# the tool from TOOLDIR. A repair (REINSTALL=ALL, as msiexec /fa is under Wine) given another TOOLDIR
# and START=1 keeps InstallDir and leaves the service as it found it: stopped stays stopped, and
# running is stopped (Ctrl+C to the tool) and started again.
. "$(dirname "${BASH_SOURCE[0]}")/lib.sh"
msi_begin
install_tool
tool_config "record;ctrlc 0"
build_msi "$WINDOWS_BUILD" "$(build_version "$WINDOWS_BUILD")" zonbek.msi

run_msiexec "/i $MSI_DIR_WIN\\zonbek.msi TOOLDIR=\"$INSTALL_DIR_WIN\""
expect_msiexec 0 "the installation"
expect_msi_installed "$INSTALL_DIR_WIN" "$WINDOWS_BUILD" "after msiexec /i"
# Without START=1 the service waits for the next boot.
assert_eq 1 "$(service_state)" "the service's state after msiexec /i"
assert_eq 0 "$(tool_launches)" "launches of the tool by the installation"

# A folder that users can write to, which the service would run zonbek.exe from as LocalSystem, and a
# start of the service that an administrator stopped.
repair="/i $MSI_DIR_WIN\\zonbek.msi REINSTALL=ALL REINSTALLMODE=omus TOOLDIR=\"C:\\Users\\Public\\zonbek\" START=1"
run_msiexec "$repair"
expect_msiexec 0 "the repair of the stopped service"
expect_msi_installed "$INSTALL_DIR_WIN" "$WINDOWS_BUILD" "after the repair of the stopped service"
assert_eq 1 "$(service_state)" "the service's state after the repair of the stopped service"
assert_eq 0 "$(tool_launches)" "launches of the tool by the repair of the stopped service"

start_service
wait_for_tool_file zonbek.ready
assert_eq 4 "$(service_state)" "the service's state while the tool runs"
assert_file_content "$(tool_file zonbek.cmdline)" "zonbek.exe --service" "the tool's command line"
assert_file_content "$(tool_file zonbek.cwd)" "$INSTALL_DIR_WIN" "the tool's working directory"

run_msiexec "$repair"
expect_msiexec 0 "the repair of the running service"
assert_file_content "$(tool_file zonbek.ctrlc)" "ctrl 0" "Ctrl+C events the tool saw during the repair"
wait_service_exit
wait_service_state 4
wait_for_tool_file zonbek.launches 2
expect_msi_installed "$INSTALL_DIR_WIN" "$WINDOWS_BUILD" "after the repair of the running service"
