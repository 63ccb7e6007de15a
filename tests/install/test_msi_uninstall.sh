#!/usr/bin/env bash
# msiexec /x with the product code, while the service runs (START=1 started it at the end of the
# installation), stops the service (Ctrl+C to the tool) and removes it, the event source's key,
# InstallDir, the installed files and the product's registration; the tool's folder is left as it was.
. "$(dirname "${BASH_SOURCE[0]}")/lib.sh"
msi_begin
install_tool
tool_config "record;ctrlc 0"
build_msi "$WINDOWS_BUILD" "$(build_version "$WINDOWS_BUILD")" zonbek.msi
product=$(msi_property zonbek.msi ProductCode)

run_msiexec "/i $MSI_DIR_WIN\\zonbek.msi TOOLDIR=\"$INSTALL_DIR_WIN\" START=1"
expect_msiexec 0 "the installation with START=1"
# msiexec returns once the start is pending.
wait_service_state 4
wait_for_tool_file zonbek.ready
[[ $(product_version "$product") != missing ]] || fail "the product $product was not registered"
tool_files=("$TOOL_DIR"/*)

run_msiexec "/x $product"
expect_msiexec 0 "the uninstallation"
assert_file_content "$(tool_file zonbek.ctrlc)" "ctrl 0" "Ctrl+C events the tool saw"
wait_service_exit
expect_msi_not_installed "$product" "after msiexec /x"
# The tool adds files of its own as it runs; none of those that were there may go.
for file in "${tool_files[@]}"; do
    [[ -f $file ]] || fail "$file in the tool's folder was removed"
done
cmp -s "$TOOL_EXE" "$TOOL_DIR/zonbek.exe" || fail "the tool's zonbek.exe was changed"
