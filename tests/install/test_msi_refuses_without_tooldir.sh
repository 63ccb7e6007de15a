#!/usr/bin/env bash
# Without TOOLDIR and without an InstallDir to keep, the launch condition refuses the installation
# (1603) and nothing is installed; so it does over a service zonbek that the package did not install.
# With an InstallDir written beforehand (by install.cmd or by hand) the same command installs and
# keeps it; a repair writes a REG_EXPAND_SZ InstallDir back as REG_SZ with the same text.
. "$(dirname "${BASH_SOURCE[0]}")/lib.sh"
msi_begin
install_tool
build_msi "$WINDOWS_BUILD" "$(build_version "$WINDOWS_BUILD")" zonbek.msi
product=$(msi_property zonbek.msi ProductCode)
# Wine's msiexec does not write a launch condition's message into the log: the package holds it.
msiinfo export "$(unix_path "$MSI_DIR_WIN")/zonbek.msi" LaunchCondition | tr -d '\r' |
    grep -q $'^Installed OR TOOLDIR OR NEWERVERSIONFOUND\t.*TOOLDIR="C:\\\\Program Files\\\\Kavix\\\\Zonbek"' ||
    fail "the package has no launch condition on TOOLDIR whose message shows how to give it"

run_msiexec "/i $MSI_DIR_WIN\\zonbek.msi"
expect_msiexec "$MSI_FAILED" "the installation without TOOLDIR"
expect_msi_not_installed "$product" "after the refused installation"

set_install_dir "$INSTALL_DIR_WIN\\"
install_service
run_msiexec "/i $MSI_DIR_WIN\\zonbek.msi"
expect_msiexec "$MSI_FAILED" "the installation over a service zonbek of its own"
assert_eq "REG_SZ $SERVICE_WIN" "$(reg_value "$SERVICE_KEY" ImagePath)" "the other service's ImagePath"
assert_eq missing "$(product_version "$product")" "the product after the refused installation"

wine_quiet sc delete zonbek >/dev/null || die "sc delete zonbek failed"
run_msiexec "/i $MSI_DIR_WIN\\zonbek.msi"
expect_msiexec 0 "the installation without TOOLDIR over an InstallDir written beforehand"
expect_msi_installed "$INSTALL_DIR_WIN\\" "$WINDOWS_BUILD" "after the installation over an existing InstallDir"

# Windows Installer's AppSearch gives a REG_EXPAND_SZ as "#%" and its text unexpanded; Wine's expands it
# and adds no mark. A value that Wine expands into the marked text gives the package what Windows gives it.
wine_quiet reg add "$INSTALL_KEY" /v InstallDir /t REG_EXPAND_SZ /d '%ZONBEK_MARKED%' /f /reg:64 >/dev/null
ZONBEK_MARKED="#%%SystemDrive%\\Tools" run_msiexec "/i $MSI_DIR_WIN\\zonbek.msi REINSTALL=ALL REINSTALLMODE=omus"
assert_eq "REG_SZ %SystemDrive%\\Tools" "$(reg_value "$INSTALL_KEY" InstallDir)" "InstallDir after the repair"
