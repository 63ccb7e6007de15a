#!/usr/bin/env bash
# Builds the Windows Installer package of the Zonbek service:
#   packaging/build-msi.sh STAGE_DIR VERSION OUT_MSI
# STAGE_DIR holds zonbeksvc.exe, zonbekmsg.dll, admin-guide.txt and zonbekstate.dll (the custom action,
# which the package carries but does not install); VERSION is MAJOR.MINOR.PATCH.
#
# The same inputs give the same bytes, wherever and whenever they are built. wixl writes three things
# of its own into every package, and each is fixed here:
# - the files' modification times in the cabinet: the files are copied and given SOURCE_DATE_EPOCH;
# - the summary's creation and last-saved times (the wall clock): wixl runs under faketime at
#   SOURCE_DATE_EPOCH, which defaults to the last commit's time;
# - a random package code: it is replaced by a name-based UUID of the package's own content, so that
#   the code changes exactly when the content does.
# The product code is a name-based UUID of the version: each version has its own, and rebuilding one
# version gives the same.
set -euo pipefail

die() { printf 'build-msi.sh: %s\n' "$*" >&2; exit 1; }

[[ $# == 3 ]] || die "usage: build-msi.sh STAGE_DIR VERSION OUT_MSI"
stage=$1 version=$2 out=$3
here=$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)
files=(zonbeksvc.exe zonbekmsg.dll admin-guide.txt zonbekstate.dll)

[[ $version =~ ^[0-9]+\.[0-9]+\.[0-9]+$ ]] || die "the version must be MAJOR.MINOR.PATCH: $version"
for file in "${files[@]}"; do
    [[ -f $stage/$file ]] || die "$stage/$file is missing"
done
for tool in wixl:wixl msibuild:msitools msiinfo:msitools faketime:faketime; do
    command -v "${tool%%:*}" >/dev/null ||
        die "${tool%%:*} is not installed (Debian package ${tool#*:}: apt-get install ${tool#*:})"
done
epoch=${SOURCE_DATE_EPOCH:-$(git -C "$here" log -1 --format=%ct 2>/dev/null)} ||
    die "set SOURCE_DATE_EPOCH: there is no git history here to take the time from"
[[ $epoch =~ ^[0-9]+$ ]] || die "SOURCE_DATE_EPOCH is not a number of seconds: $epoch"

# uuid5 NAMESPACE NAME: the name-based (SHA-1) UUID of RFC 4122, upper case, in braces.
uuid5() {
    local hex
    hex=$({ printf '%b' "$(sed 's/-//g; s/../\\x&/g' <<<"$1")"; printf '%s' "$2"; } | sha1sum)
    printf '{%s-%s-5%s-%x%s-%s}\n' "${hex:0:8}" "${hex:8:4}" "${hex:13:3}" $(((16#${hex:16:1} & 3) | 8)) \
        "${hex:17:3}" "${hex:20:12}" | tr a-f A-F
}

wxs=$here/zonbek-service.wxs
upgrade_code=$(sed -n 's/.*<?define UpgradeCode = "\([0-9A-F-]*\)" ?>.*/\1/p' "$wxs")
[[ -n $upgrade_code ]] || die "no UpgradeCode in $wxs"
product_code=$(uuid5 "$upgrade_code" "ProductCode $version")

work=$(mktemp -d "${TMPDIR:-/tmp}/zonbek-msi.XXXXXX")
trap 'rm -rf "$work"' EXIT
mkdir "$work/files"
for file in "${files[@]}"; do
    cp "$stage/$file" "$work/files/$file"
done
touch -d "@$epoch" "$work/files"/*

msi=$work/zonbek-service.msi
# wixl looks for File/@Source relative to its working directory only.
(cd "$work" && TZ=UTC faketime -f "$(TZ=UTC date -d "@$epoch" '+%Y-%m-%d %H:%M:%S')" \
    wixl -a x64 -D Version="$version" -D ProductCode="$product_code" -D SourceDir=files -o "$msi" "$wxs") \
    2>"$work/wixl.log" || die "wixl failed: $(cat "$work/wixl.log")"

# What wixl 0.101 reads but does not write: Property/@Secure (it lists only the upgrade properties in
# SecureCustomProperties) and ServiceInstall/@Vital (ErrorControl normal, 1, plus 0x8000).
secure=$(sed -n 's/.*<Property Id="\([A-Z_]*\)" Secure="yes".*/\1/p' "$wxs" | tr '\n' ';')
secure+=$(msiinfo export "$msi" Property | tr -d '\r' | sed -n 's/^SecureCustomProperties\t//p')
# The package code names the package's content: the package with a code of zeros, hashed.
summary=("Zonbek service $version" Kavix "x64;1033")
msibuild "$msi" \
    -q "UPDATE Property SET Value = '$secure' WHERE Property = 'SecureCustomProperties'" \
    -q "UPDATE ServiceInstall SET ErrorControl = 32769 WHERE ServiceInstall = 'ZonbekService'" \
    -s "${summary[@]}" "{00000000-0000-0000-0000-000000000000}" || die "msibuild failed on $msi"
package_code=$(uuid5 "$upgrade_code" "PackageCode $(sha256sum <"$msi" | cut -c1-64)")
msibuild "$msi" -s "${summary[@]}" "$package_code" || die "msibuild failed on $msi"

cp "$msi" "$out"
echo "$out: Zonbek service $version, product code $product_code, package code $package_code"
