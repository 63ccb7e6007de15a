#!/usr/bin/env bash
# A package of a higher version, installed without TOOLDIR over a running older one, stops the service
# (Ctrl+C to the tool), replaces the files, keeps InstallDir and the service, replaces the older
# product and starts the service again. Installing the older package again is then refused (1603) by
# the downgrade's launch condition alone, and changes nothing.
. "$(dirname "${BASH_SOURCE[0]}")/lib.sh"
NEXT_BUILD=${ZONBEK_WINDOWS_NEXT_BUILD:-$REPO_DIR/build/windows-next}
[[ -f $NEXT_BUILD/zonbeksvc.exe && -f $NEXT_BUILD/zonbekmsg.dll ]] ||
    die "$NEXT_BUILD holds no build of a higher version: cmake --preset windows -B $NEXT_BUILD -DZONBEK_VERSION=<patch + 1> && cmake --build $NEXT_BUILD --target zonbeksvc zonbekmsg zonbekstate (scripts/test does this)"
msi_begin
install_tool
tool_config "record;ctrlc 0"
old=$(build_version "$WINDOWS_BUILD")
new=$(build_version "$NEXT_BUILD")
[[ $(printf '%s\n' "$old" "$new" | sort -V | tail -n 1) == "$new" && $old != "$new" ]] ||
    die "$NEXT_BUILD carries version $new, not one higher than $old in $WINDOWS_BUILD"
build_msi "$WINDOWS_BUILD" "$old" old.msi
build_msi "$NEXT_BUILD" "$new" new.msi
old_product=$(msi_property old.msi ProductCode)
new_product=$(msi_property new.msi ProductCode)
[[ $old_product != "$new_product" ]] || fail "both versions have the product code $old_product"

run_msiexec "/i $MSI_DIR_WIN\\old.msi TOOLDIR=\"$INSTALL_DIR_WIN\""
expect_msiexec 0 "the installation of $old"
start_service
wait_for_tool_file zonbek.ready

run_msiexec "/i $MSI_DIR_WIN\\new.msi"
expect_msiexec 0 "the upgrade to $new without TOOLDIR"
assert_file_content "$(tool_file zonbek.ctrlc)" "ctrl 0" "Ctrl+C events the tool saw during the upgrade"
wait_service_exit
wait_service_state 4
wait_for_tool_file zonbek.launches 2
expect_msi_installed "$INSTALL_DIR_WIN" "$NEXT_BUILD" "after the upgrade"
assert_eq "$new" "$(build_version "$(unix_path "$PACKAGE_WIN")")" "the installed zonbeksvc.exe's version"
assert_eq "$new" "$(product_version "$new_product")" "the registered version of $new_product"
assert_eq missing "$(product_version "$old_product")" "the replaced product $old_product"

run_msiexec "/i $MSI_DIR_WIN\\old.msi TOOLDIR=\"$INSTALL_DIR_WIN\"" +msi
expect_msiexec "$MSI_FAILED" "the installation of $old over $new"
# Wine's /qn log names no launch condition; its trace shows each one evaluated, 1 holding and 0 refusing.
conditions=$(msiinfo export "$(unix_path "$MSI_DIR_WIN")/old.msi" LaunchCondition | tr -d '\r' | tail -n +4 | cut -f1)
mapfile -t expected < <(awk '{ print ($0 == "NOT NEWERVERSIONFOUND" ? 0 : 1) " " $0 }' <<<"$conditions" | sort)
evaluated=$(sed -n 's/.*:MSI_EvaluateConditionW \([01]\) <- L"\(.*\)"$/\1 \2/p' "$MSI_TRACE" | sed 's/\\"/"/g' |
    awk 'NR == FNR { launch[$0] = 1; next } substr($0, 3) in launch' <(printf '%s\n' "$conditions") - | sort)
assert_lines "the launch conditions of the refused downgrade" "$evaluated" "${expected[@]}"
expect_msi_installed "$INSTALL_DIR_WIN" "$NEXT_BUILD" "after the refused downgrade"
assert_eq missing "$(product_version "$old_product")" "the product $old_product after the refused downgrade"
