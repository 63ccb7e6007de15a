#!/usr/bin/env bash
# packaging/build-msi.sh is reproducible: two builds of the same files from other folders, in other time
# zones and at another time are the same bytes; a changed file gives another package code and keeps the
# product code. The package also holds what Wine's msiexec does not act on and Windows Installer does.
set -euo pipefail
here=$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)
repo=$(cd "$here/../.." && pwd)
build=${ZONBEK_WINDOWS_BUILD:-$repo/build/windows}
fail() { printf '[check_msi_package] FAILED: %s\n' "$*" >&2; exit 1; }
files=(zonbeksvc.exe zonbekmsg.dll admin-guide.txt zonbekstate.dll)
for file in "${files[@]}"; do
    [[ -f $build/$file ]] || fail "$build/$file is missing: build the windows preset first"
done

work=$(mktemp -d "${TMPDIR:-/tmp}/zonbek-msi-check.XXXXXX")
trap 'rm -rf "$work"' EXIT
stage() {
    mkdir "$work/$1"
    cp "${files[@]/#/$build/}" "$work/$1/"
}
# build NAME COMMAND...: NAME.msi from the folder NAME, build-msi.sh run through COMMAND (env, faketime).
build() {
    local name=$1
    shift
    (cd "$work/$name" && SOURCE_DATE_EPOCH=1700000000 "$@" "$repo/packaging/build-msi.sh" . 1.2.3 "$work/$name.msi") \
        >"$work/$name.log" 2>&1 || fail "build-msi.sh failed: $(cat "$work/$name.log")"
}
stage first
build first env TZ=UTC
# Later (the cabinet's file times have a resolution of two seconds), with files of another time, and
# under a faketime of its own.
sleep 2
stage second
touch -d 2001-02-03 "$work/second"/*
build second faketime -f +3d env TZ=Pacific/Auckland
cmp "$work/first.msi" "$work/second.msi" >"$work/cmp" ||
    fail "two builds of the same files differ in $(cmp -l "$work/first.msi" "$work/second.msi" | wc -l) bytes: $(cat "$work/cmp")"
stage changed
printf ' ' >>"$work/changed/admin-guide.txt"
build changed env TZ=UTC
package_code() { msiinfo suminfo "$work/$1.msi" | sed -n 's/^Revision number (UUID): //p'; }
product_code() { msiinfo export "$work/$1.msi" Property | tr -d '\r' | sed -n 's/^ProductCode\t//p'; }
[[ $(package_code changed) != "$(package_code first)" ]] || fail "a changed file kept the package code"
[[ $(product_code changed) == "$(product_code first)" ]] || fail "a changed file changed the product code"

table() { msiinfo export "$work/first.msi" "$1" | tr -d '\r' | tail -n +4; }
# TOOLDIR and START reach the server side of a managed installation only as secure properties.
secure=";$(table Property | sed -n 's/^SecureCustomProperties\t//p');"
[[ $secure == *";TOOLDIR;"* && $secure == *";START;"* ]] || fail "SecureCustomProperties is [$secure]"
# A service that cannot be created fails the installation (msidbServiceInstallErrorControlVital).
[[ $(table ServiceInstall | cut -f6) == 32769 ]] || fail "the service's ErrorControl is not normal + vital"
# The user interface sequence, which msiexec /qn skips, keeps an existing InstallDir too.
order=$(table InstallUISequence | sort -t $'\t' -k3 -n | cut -f1 | grep -x -e AppSearch -e KeepExistingToolDir -e LaunchConditions)
[[ $order == $'AppSearch\nKeepExistingToolDir\nLaunchConditions' ]] ||
    fail "InstallUISequence runs [$(tr '\n' ' ' <<<"$order")] instead of AppSearch, KeepExistingToolDir, LaunchConditions"
[[ $(table CustomAction | grep '^KeepExistingToolDir' | cut -f2) == 51 ]] || fail "KeepExistingToolDir is not a plain set-property action (51)"
echo "[check_msi_package] reproducible; package code $(package_code first)"
