#!/usr/bin/env bash
# Builds the Windows Installer package of the Zonbek service:
#   packaging/build-msi.sh STAGE_DIR VERSION OUT_MSI
# STAGE_DIR holds zonbeksvc.exe, zonbekmsg.dll, admin-guide.txt, THIRD-PARTY-NOTICES.txt and zonbekstate.dll
# (the custom action, which the package carries but does not install); VERSION is MAJOR.MINOR.PATCH.
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
files=(zonbeksvc.exe zonbekmsg.dll admin-guide.txt THIRD-PARTY-NOTICES.txt zonbekstate.dll)

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

# offset FILE HEX: where the bytes HEX (two lower-case digits each) first occur in FILE; nothing if not.
offset() {
    od -An -v -tx1 "$1" | tr -d ' \n' | awk -v hex="$2" '{
        for (from = 1; (at = index(substr($0, from), hex)) > 0; from += at)
            if ((from + at) % 2 == 0) { print (from + at - 2) / 2; exit }
    }'
}

# pe_version FILE: "VERSION LANGUAGE" from FILE's version resource, as Windows Installer wants them in
# the File table: the fixed file version (VS_FIXEDFILEINFO, found by its signature 0xFEEF04BD) and the
# language of the first Translation entry, in decimal. Nothing for a file without a version resource.
pe_version() {
    local at words language
    at=$(offset "$1" bd04effe)
    [[ -n $at ]] || return 0
    # dwFileVersionMS and dwFileVersionLS follow the signature and dwStrucVersion, as 16-bit halves.
    read -r -a words < <(od -An -tu2 -j $((at + 8)) -N 8 "$1")
    # "Translation" in UTF-16 with its terminator; the value follows, aligned to 32 bits, and its first
    # half is the language.
    at=$(offset "$1" 5400720061006e0073006c006100740069006f006e000000)
    [[ -n $at ]] || die "$1 has a version resource without a Translation entry"
    language=$(od -An -tu2 -j $(((at + 24 + 3) / 4 * 4)) -N 2 "$1" | tr -d ' ')
    echo "${words[1]}.${words[0]}.${words[3]}.${words[2]} $language"
}

# What wixl 0.101 reads but does not write: Property/@Secure (it lists only the upgrade properties in
# SecureCustomProperties), ServiceInstall/@Vital (ErrorControl normal, 1, plus 0x8000) and the
# ShortName of a File or Directory. It writes no File.Version or File.Language either, and a hash
# (MsiFileHash) for every file, although hashes are for unversioned files only: the exe and the DLL get
# their versions and lose their hashes, so that Windows Installer's file versioning rules apply to them.
edits=()
secure=$(sed -n 's/.*<Property Id="\([A-Z_]*\)" Secure="yes".*/\1/p' "$wxs" | tr '\n' ';')
secure+=$(msiinfo export "$msi" Property | tr -d '\r' | sed -n 's/^SecureCustomProperties\t//p')
edits+=(-q "UPDATE Property SET Value = '$secure' WHERE Property = 'SecureCustomProperties'")
edits+=(-q "UPDATE ServiceInstall SET ErrorControl = 32769 WHERE ServiceInstall = 'ZonbekService'")
# name TABLE ID: the long name in TABLE's (File's or Directory's) row ID, its third column in both.
name() { msiinfo export "$msi" "$1" | tr -d '\r' | tail -n +4 | awk -F '\t' -v id="$2" '$1 == id { print $3 }'; }
shortnames=$(sed -n 's/.*<\(File\|Directory\) Id="\([^"]*\)"[^>]* ShortName="\([^"]*\)".*/\1 \2 \3/p' "$wxs")
while read -r element id short; do
    case $element in
        File) edits+=(-q "UPDATE File SET FileName = '$short|$(name File "$id")' WHERE File = '$id'") ;;
        Directory) edits+=(-q "UPDATE Directory SET DefaultDir = '$short|$(name Directory "$id")' WHERE Directory = '$id'") ;;
    esac
done <<<"$shortnames"
file_rows=$(msiinfo export "$msi" File | tr -d '\r' | tail -n +4 | cut -f1,3)
while IFS=$'\t' read -r id file; do
    resource=$(pe_version "$work/files/$file")
    [[ -n $resource ]] || continue
    read -r file_version language <<<"$resource"
    edits+=(-q "UPDATE File SET Version = '$file_version', Language = '$language' WHERE File = '$id'")
    edits+=(-q "DELETE FROM MsiFileHash WHERE File_ = '$id'")
done <<<"$file_rows"
# The package code names the package's content: the package with a code of zeros, hashed.
summary=("Zonbek service $version" Kavix "x64;1033")
msibuild "$msi" "${edits[@]}" -s "${summary[@]}" "{00000000-0000-0000-0000-000000000000}" ||
    die "msibuild failed on $msi"
package_code=$(uuid5 "$upgrade_code" "PackageCode $(sha256sum <"$msi" | cut -c1-64)")
msibuild "$msi" -s "${summary[@]}" "$package_code" || die "msibuild failed on $msi"

cp "$msi" "$out"
echo "$out: Zonbek service $version, product code $product_code, package code $package_code"
