#!/usr/bin/env bash
# install.cmd refuses, with its own exit code and a message naming the problem, a missing argument,
# a tool folder that does not exist or holds no zonbek.exe, and a package without zonbeksvc.exe or
# zonbekmsg.dll; uninstall.cmd refuses a wait that is not a number. None of them changes anything.
. "$(dirname "${BASH_SOURCE[0]}")/lib.sh"
package_begin
install_tool

run_script install.cmd
expect_script 1 'Usage: install.cmd'
expect_not_installed "after install.cmd without an argument"

run_script install.cmd 'C:\Program Files\Kavix\Nowhere'
expect_script 3 'the folder "C:\Program Files\Kavix\Nowhere" does not exist'
expect_not_installed "after install.cmd with a missing folder"

mkdir -p "$(unix_path 'C:\Program Files\Kavix\Empty')"
run_script install.cmd 'C:\Program Files\Kavix\Empty'
expect_script 4 'there is no zonbek.exe in "C:\Program Files\Kavix\Empty"'
expect_not_installed "after install.cmd with a folder without zonbek.exe"

for shipped in zonbeksvc.exe zonbekmsg.dll; do
    mv "$PACKAGE_DIR/$shipped" "$E2E_WORK/$shipped"
    run_script install.cmd "$INSTALL_DIR_WIN"
    expect_script 5 "zonbeksvc.exe and zonbekmsg.dll must be in \"$PACKAGE_WIN\\\" beside install.cmd"
    expect_not_installed "after install.cmd without $shipped"
    mv "$E2E_WORK/$shipped" "$PACKAGE_DIR/$shipped"
done

run_script uninstall.cmd soon
expect_script 1 'Usage: uninstall.cmd [seconds]'

# The same package, complete, installs: the refusals above were about what they said.
run_script install.cmd "$INSTALL_DIR_WIN"
expect_script 0 "Installed the service zonbek"
expect_installed "$INSTALL_DIR_WIN" "after install.cmd with everything in place"
