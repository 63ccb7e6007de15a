#!/usr/bin/env bash
# packaging/build-msi.sh is reproducible: two builds of the same files from other folders, in other time
# zones and at another time are the same bytes; a changed file gives another package code and keeps the
# product code. The package also holds what Wine's msiexec does not act on and Windows Installer does:
# file versions, short names, secure properties, the vital service, Add/Remove Programs' properties.
set -euo pipefail
here=$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)
repo=$(cd "$here/../.." && pwd)
build=${ZONBEK_WINDOWS_BUILD:-$repo/build/windows}
fail() { printf '[check_msi_package] FAILED: %s\n' "$*" >&2; exit 1; }
files=(zonbeksvc.exe zonbekmsg.dll admin-guide.txt THIRD-PARTY-NOTICES.txt zonbekstate.dll)
version=${ZONBEK_VERSION:-$(sed -n 's/^project([^ ]* VERSION \([0-9.]*\).*/\1/p' "$repo/CMakeLists.txt")}
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
# The user interface sequence, which msiexec /qn skips, keeps an existing InstallDir too, as REG_SZ.
order=$(table InstallUISequence | sort -t $'\t' -k3 -n | cut -f1 |
    grep -x -e AppSearch -e PlainExistingToolDir -e KeepExistingToolDir -e LaunchConditions)
[[ $order == $'AppSearch\nPlainExistingToolDir\nKeepExistingToolDir\nLaunchConditions' ]] ||
    fail "InstallUISequence runs [$(tr '\n' ' ' <<<"$order")] instead of AppSearch, PlainExistingToolDir, KeepExistingToolDir, LaunchConditions"
[[ $(table CustomAction | grep '^KeepExistingToolDir' | cut -f2) == 51 ]] || fail "KeepExistingToolDir is not a plain set-property action (51)"
# The exe and the DLL are versioned files, with their version resources' version and language and no
# hash, which is for unversioned files only: Windows Installer's file versioning rules then replace an
# older or missing exe.
for id in zonbeksvc.exe zonbekmsg.dll; do
    row=$(table File | awk -F '\t' -v id="$id" '$1 == id { print $5 " " $6 }')
    [[ $row == "$version.0 1033" ]] || fail "$id's version and language are [$row], not [$version.0 1033]"
    ! table MsiFileHash | cut -f1 | grep -qxF "$id" || fail "$id has a row in MsiFileHash"
done
# Add/Remove Programs offers no Modify, and shows the service's folder as InstallLocation, which
# RegisterProduct takes from ARPINSTALLLOCATION once CostFinalize has resolved the folder.
[[ $(table Property | grep '^ARPNOMODIFY' | cut -f2) == 1 ]] || fail "ARPNOMODIFY is not 1"
action=$(table CustomAction | awk -F '\t' '$2 == 51 && $3 == "ARPINSTALLLOCATION" && $4 == "[ServiceFolder]" { print $1 }')
order=$(table InstallExecuteSequence | sort -t $'\t' -k3 -n | cut -f1 | grep -x -e CostFinalize -e "${action:-?}" -e RegisterProduct)
[[ -n $action && $order == $'CostFinalize\n'"$action"$'\nRegisterProduct' ]] ||
    fail "no action sets ARPINSTALLLOCATION to [ServiceFolder] between CostFinalize and RegisterProduct: [$action] [$order]"
# Every file and folder has an 8.3 name, its own or a short one before "|", unique in its folder.
for name in Component File Directory; do table "$name" >"$work/$name"; done
declare -A seen=()
while IFS=$'\t' read -r folder name; do
    short=${name%%|*}
    [[ $short =~ ^[A-Za-z0-9_~-]{1,8}(\.[A-Za-z0-9_~-]{1,3})?$ ]] || fail "[$name] in $folder has no 8.3 name"
    [[ -z ${seen[$folder/${short^^}]:-} ]] || fail "$short is in $folder twice"
    seen[$folder/${short^^}]=1
done < <(awk -F '\t' 'FILENAME ~ /Component$/ { folder[$1] = $3; next }
                      FILENAME ~ /File$/ { print folder[$2] "\t" $3; next }
                      $2 != "" && $3 != "." { print $2 "\t" $3 }' "$work/Component" "$work/File" "$work/Directory")
((${#seen[@]} == $(wc -l <"$work/File") + 2)) || fail "${#seen[@]} names checked, not every file and the two folders"
echo "[check_msi_package] reproducible; package code $(package_code first)"
