#!/usr/bin/env bash
# scripts/release --verify DIR: shows whether the release in DIR, signed or not, was built from the last
# commit. It clones that commit, releases it unsigned, and compares:
# - zonbeksvc.exe and zonbekmsg.dll from the zip, and zonbekstate.dll from the MSI's Binary table, each
#   without its signature (osslsigncode remove-signature) with the rebuilt one, byte for byte: the build
#   gives every binary the PE checksum that removing a signature leaves;
# - the zip and the MSI with the ones that the release packs from DIR's own binaries, the MSI with DIR's
#   MSI signature attached (osslsigncode attach-signature): no key is needed to pack a signed release
#   again;
# - the notices in the zip and in the MSI, the symbols zip, and the SBOM, made again from DIR's files;
# - SHA256SUMS: it holds for DIR's files, and it is the rebuilt one.
# One line per file; exits with 1 when any differs, 2 when it cannot check. ZONBEK_VERIFY_KEEP=1 keeps
# the work folder. The rebuild is in the clone's build/, where scripts/release builds by default: the
# build folder's place in the source tree is in the PDB, and so in the exe.
set -euo pipefail
repo=$(cd "$(dirname "${BASH_SOURCE[0]}")/../.." && pwd)
say() { printf 'verify: %s\n' "$*"; }
die() { printf 'verify: %s\n' "$*" >&2; exit 2; }

[[ -d ${1:-} ]] || die "usage: scripts/release --verify DIR (a folder with a published release)"
dir=$(cd "$1" && pwd)
msis=("$dir"/zonbek-service-*-x64.msi)
[[ ${#msis[@]} == 1 && -f ${msis[0]} ]] || die "$dir holds no single zonbek-service-<version>-x64.msi"
name=$(basename "${msis[0]}" -x64.msi)
version=${name#zonbek-service-}
for file in "$name-x64.msi" "$name-win64.zip" "$name-symbols.zip" "$name.cdx.json" SHA256SUMS; do
    [[ -f $dir/$file ]] || die "$dir/$file is missing"
done
commit=$(git -C "$repo" rev-parse HEAD)
[[ -z $(git -C "$repo" status --porcelain --untracked-files=no) ]] ||
    say "the work tree has uncommitted changes; they are not checked, only commit ${commit:0:12}"

work=$(mktemp -d "${TMPDIR:-/tmp}/zonbek-verify.XXXXXX")
[[ ${ZONBEK_VERIFY_KEEP:-0} == 1 ]] || trap 'rm -rf "$work"' EXIT

# DIR's binaries and MSI signature, which the release packs as they are instead of signing.
mkdir -p "$work/zip" "$work/msi" "$work/signed"
(cd "$work/zip" && unzip -q "$dir/$name-win64.zip") || die "$name-win64.zip does not unpack"
msiextract --directory "$work/msi" "$dir/$name-x64.msi" >/dev/null || die "$name-x64.msi does not unpack"
unpacked=$work/zip/$name-win64
cp "$unpacked/zonbeksvc.exe" "$unpacked/zonbekmsg.dll" "$work/signed/" || die "the zip lacks a binary"
msiinfo extract "$dir/$name-x64.msi" Binary.ServiceState >"$work/signed/zonbekstate.dll" ||
    die "the MSI holds no Binary.ServiceState"
osslsigncode extract-signature -in "$dir/$name-x64.msi" -out "$work/signed/msi.p7" >/dev/null 2>&1 ||
    rm -f "$work/signed/msi.p7"

say "rebuilding $name from commit ${commit:0:12}"
git clone -q --no-local "$repo" "$work/source"
git -C "$work/source" checkout -q --detach "$commit"
env -u ZONBEK_SIGN_PFX -u ZONBEK_SIGN_PASSWORD -u ZONBEK_SIGN_TIMESTAMP_URL -u ZONBEK_RELEASE_ROOT \
    ZONBEK_VERSION="$version" ZONBEK_RELEASE_SIGNED="$work/signed" bash "$work/source/scripts/release" \
    >"$work/release.log" 2>&1 || { cat "$work/release.log" >&2; die "the rebuild failed"; }
built=$work/source/build/release-work/build
rebuilt=$work/source/build/release

status=0
# verdict A B NAME HOW: one line on whether the files A and B are the same bytes.
verdict() {
    if cmp -s "$1" "$2"; then
        printf '  same       %-34s %s\n' "$3" "$4"
    else
        printf '  DIFFERENT  %-34s %s: %s\n' "$3" "$4" \
            "$(cmp -l "$1" "$2" 2>/dev/null | wc -l) bytes differ, sizes $(stat -c %s "$1") and $(stat -c %s "$2")"
        status=1
    fi
}

say "$name in $dir, against commit ${commit:0:12}:"
for file in zonbeksvc.exe zonbekmsg.dll zonbekstate.dll; do
    plain=$work/signed/$file how=unsigned
    if osslsigncode extract-signature -in "$plain" -out "$work/$file.p7" >/dev/null 2>&1; then
        plain=$work/$file
        osslsigncode remove-signature -in "$work/signed/$file" -out "$plain" >/dev/null 2>&1 || : >"$plain"
        how="signed; without its signature"
    fi
    verdict "$plain" "$built/$file" "$file" "$how, as rebuilt"
done
verdict "$unpacked/THIRD-PARTY-NOTICES.txt" "$built/THIRD-PARTY-NOTICES.txt" "THIRD-PARTY-NOTICES.txt (zip)" "as rebuilt"
verdict "$work/msi/Kavix/Zonbek Service/THIRD-PARTY-NOTICES.txt" "$built/THIRD-PARTY-NOTICES.txt" \
    "THIRD-PARTY-NOTICES.txt (MSI)" "as rebuilt"
verdict "$dir/$name-win64.zip" "$rebuilt/$name-win64.zip" "$name-win64.zip" "as packed from its binaries"
verdict "$dir/$name-x64.msi" "$rebuilt/$name-x64.msi" "$name-x64.msi" \
    "as built from its binaries$([[ -f $work/signed/msi.p7 ]] && echo ", with its signature")"
verdict "$dir/$name-symbols.zip" "$rebuilt/$name-symbols.zip" "$name-symbols.zip" "as rebuilt"
verdict "$dir/$name.cdx.json" "$rebuilt/$name.cdx.json" "$name.cdx.json" "as made from its files"
if (cd "$dir" && sha256sum --quiet --strict -c SHA256SUMS >/dev/null 2>&1); then
    verdict "$dir/SHA256SUMS" "$rebuilt/SHA256SUMS" SHA256SUMS "holds for every file; as rebuilt"
else
    printf '  DIFFERENT  %-34s %s\n' SHA256SUMS "does not hold: $(cd "$dir" && sha256sum -c SHA256SUMS 2>&1 | grep -v ': OK$' | tr '\n' ' ')"
    status=1
fi
if ((status == 0)); then say "built from commit $commit"; else say "NOT what commit $commit builds"; fi
exit "$status"
