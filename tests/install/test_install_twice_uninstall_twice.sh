#!/usr/bin/env bash
# Both scripts can be run twice: a second install.cmd is refused and changes nothing, a second
# uninstall.cmd finds nothing left and succeeds, and a new install.cmd afterwards works. The tool's
# folder is stored as a full path without the trailing backslash it was given with.
. "$(dirname "${BASH_SOURCE[0]}")/lib.sh"
package_begin
first_dir='C:\Tools\Zonbek'
copy_tool "$first_dir"
install_tool

run_script install.cmd "$first_dir\\"
expect_script 0 "Installed the service zonbek"
expect_installed "$first_dir" "after the first install.cmd"

run_script install.cmd "$INSTALL_DIR_WIN"
expect_script 6 "the service zonbek already exists; nothing was changed"
expect_installed "$first_dir" "after the second install.cmd"

run_script uninstall.cmd
expect_script 0 "Removed the service zonbek." "Removed the event source KavixZonbek." \
    "Removed the value InstallDir" "The service zonbek is uninstalled."
expect_not_installed "after the first uninstall.cmd"

run_script uninstall.cmd
expect_script 0 "The service zonbek is not installed." "The event source KavixZonbek is not registered." \
    "The service zonbek is uninstalled."
if grep -q "Removed" <<<"$SCRIPT_OUTPUT"; then
    fail "the second uninstall.cmd claims to have removed something: $SCRIPT_OUTPUT"
fi
expect_not_installed "after the second uninstall.cmd"

run_script install.cmd "$INSTALL_DIR_WIN"
expect_script 0 "Installed the service zonbek"
expect_installed "$INSTALL_DIR_WIN" "after installing again"
