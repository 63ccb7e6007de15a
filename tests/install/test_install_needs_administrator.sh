#!/usr/bin/env bash
# Without administrator rights both scripts stop before they change anything and say why. Wine runs
# everything as an administrator, so net.exe is replaced for those runs by a stand-in that answers as
# net session does on Windows without an elevated token (fltmc, the other check, is absent in Wine).
. "$(dirname "${BASH_SOURCE[0]}")/lib.sh"
package_begin
install_tool
cp "$(unix_path "$(install_test_program net_denied.exe)")" "$(unix_path 'C:\windows\system32\net.exe')"

SCRIPT_DLL_OVERRIDES='net.exe=n'
run_script install.cmd "$INSTALL_DIR_WIN"
expect_script 2 'this needs administrator rights' 'Run as administrator'
expect_not_installed "after install.cmd without administrator rights"

SCRIPT_DLL_OVERRIDES=
run_script install.cmd "$INSTALL_DIR_WIN"
expect_script 0 "Installed the service zonbek"

SCRIPT_DLL_OVERRIDES='net.exe=n'
run_script uninstall.cmd
expect_script 2 'this needs administrator rights' 'Run as administrator'
expect_installed "$INSTALL_DIR_WIN" "after uninstall.cmd without administrator rights"

SCRIPT_DLL_OVERRIDES=
run_script uninstall.cmd
expect_script 0 "The service zonbek is uninstalled."
expect_not_installed "after uninstall.cmd"
