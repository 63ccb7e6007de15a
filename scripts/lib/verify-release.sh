#!/usr/bin/env bash
# scripts/release --verify DIR: shows whether the release in DIR, signed or not, was built from the last
# commit. It clones that commit, releases it unsigned, and compares:
# - zonbeksvc.exe and zonbekmsg.dll from the zip, and zonbekstate.dll from the MSI's Binary table, each
#   byte for byte with the rebuilt one, which gets the published signature first (osslsigncode
#   attach-signature) when the file has one: every byte counts, those in the certificate table too;
# - the zip and the MSI with the ones that the release packs from DIR's own binaries, the MSI with DIR's
#   MSI signature attached: no key is needed to pack a signed release again;
# - the notices in the zip and in the MSI, the symbols zip, and the SBOM, made again from DIR's files;
# - SHA256SUMS: it holds for DIR's files, and it is the rebuilt one.
# DIR and the zip must hold the release's files and nothing else, each a regular file: nothing in them
# is followed or opened before that is known. One line per file; exits with 1 when any differs, 2 when
# it cannot check. ZONBEK_VERIFY_KEEP=1 keeps the work folder. The rebuild is in the clone's build/,
# where scripts/release builds by default: the build folder's place in the source tree is in the PDB,
# and so in the exe.
set -euo pipefail
repo=$(cd "$(dirname "${BASH_SOURCE[0]}")/../.." && pwd)
say() { printf 'verify: %s\n' "$*"; }
die() { printf 'verify: %s\n' "$*" >&2; exit 2; }

[[ -d ${1:-} ]] || die "usage: scripts/release --verify DIR (a folder with a published release)"
dir=$(cd "$1" && pwd)
entries=()
while IFS= read -r -d '' entry; do
    entries+=("${entry##*/}")
    [[ ! -L $entry ]] || die "$entry is a link: a release folder holds its files and nothing else"
    [[ -f $entry ]] || die "$entry is not a regular file: a release folder holds its files and nothing else"
done < <(find "$dir" -mindepth 1 -maxdepth 1 -print0)
name=
for entry in "${entries[@]}"; do
    [[ ! $entry =~ ^(zonbek-service-[0-9]+\.[0-9]+\.[0-9]+)-x64\.msi$ ]] || name=${BASH_REMATCH[1]}
done
[[ -n $name ]] || die "$dir holds no zonbek-service-<version>-x64.msi"
version=${name#zonbek-service-}
artefacts=("$name-x64.msi" "$name-win64.zip" "$name-symbols.zip" "$name.cdx.json")
declare -A expected
for file in "${artefacts[@]}" SHA256SUMS; do
    expected[$file]=1
    [[ -f $dir/$file ]] || die "$dir/$file is missing"
done
for entry in "${entries[@]}"; do
    [[ -n ${expected[$entry]:-} ]] || die "$dir/$entry is not a file of release $version"
done
# The zip's entries are its six files, each a regular file, before anything is unpacked.
zip_files=(zonbeksvc.exe zonbekmsg.dll install.cmd uninstall.cmd admin-guide.txt THIRD-PARTY-NOTICES.txt)
[[ $(zipinfo -1 "$dir/$name-win64.zip" 2>/dev/null | LC_ALL=C sort) == \
    "$(printf "$name-win64/%s\n" "${zip_files[@]}" | LC_ALL=C sort)" ]] ||
    die "$name-win64.zip does not hold exactly $name-win64/ with ${zip_files[*]}"
! zipinfo "$dir/$name-win64.zip" | sed '1,2d;$d' | grep -qv '^-' ||
    die "$name-win64.zip holds an entry that is not a regular file"
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
env -u ZONBEK_SIGN_PFX -u ZONBEK_SIGN_PASSWORD -u ZONBEK_SIGN_PASSWORD_FILE -u ZONBEK_SIGN_TIMESTAMP_URL -u ZONBEK_RELEASE_ROOT \
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
    rebuilt_file=$built/$file how="unsigned, as rebuilt"
    if osslsigncode extract-signature -in "$work/signed/$file" -out "$work/$file.p7" >/dev/null 2>&1; then
        # osslsigncode writes the file and then fails when it does not trust the signer: the bytes judge.
        rebuilt_file=$work/$file.signed how="signed; as rebuilt with its signature"
        osslsigncode attach-signature -sigin "$work/$file.p7" -in "$built/$file" -out "$rebuilt_file" \
            >/dev/null 2>&1 || [[ -f $rebuilt_file ]] || : >"$rebuilt_file"
    fi
    verdict "$work/signed/$file" "$rebuilt_file" "$file" "$how"
done
verdict "$unpacked/THIRD-PARTY-NOTICES.txt" "$built/THIRD-PARTY-NOTICES.txt" "THIRD-PARTY-NOTICES.txt (zip)" "as rebuilt"
verdict "$work/msi/Kavix/Zonbek Service/THIRD-PARTY-NOTICES.txt" "$built/THIRD-PARTY-NOTICES.txt" \
    "THIRD-PARTY-NOTICES.txt (MSI)" "as rebuilt"
verdict "$dir/$name-win64.zip" "$rebuilt/$name-win64.zip" "$name-win64.zip" "as packed from its binaries"
verdict "$dir/$name-x64.msi" "$rebuilt/$name-x64.msi" "$name-x64.msi" \
    "as built from its binaries$([[ -f $work/signed/msi.p7 ]] && echo ", with its signature")"
verdict "$dir/$name-symbols.zip" "$rebuilt/$name-symbols.zip" "$name-symbols.zip" "as rebuilt"
verdict "$dir/$name.cdx.json" "$rebuilt/$name.cdx.json" "$name.cdx.json" "as made from its files"
# sums_fault: what is wrong with SHA256SUMS, if anything: it names each artefact once with its SHA-256,
# and nothing else, so that nothing but DIR's checked files is read.
sums_fault() {
    local line file count=0
    declare -A listed
    while IFS= read -r line; do
        file=${line:66}
        [[ $line =~ ^[0-9a-f]{64}\ \  && -n $file && -n ${expected[$file]:-} && $file != SHA256SUMS && -z ${listed[$file]:-} ]] ||
            { echo "a line that is not one artefact's sum: [$line]"; return; }
        listed[$file]=1 count=$((count + 1))
        [[ $(sha256sum <"$dir/$file") == "${line:0:64}  -" ]] || echo "$file does not have its sum"
    done <"$dir/SHA256SUMS"
    ((count == ${#artefacts[@]})) || echo "it names $count of the ${#artefacts[@]} artefacts"
}
fault=$(sums_fault)
if [[ -z $fault ]]; then
    verdict "$dir/SHA256SUMS" "$rebuilt/SHA256SUMS" SHA256SUMS "holds for every file; as rebuilt"
else
    printf '  DIFFERENT  %-34s %s\n' SHA256SUMS "does not hold: $(tr '\n' ' ' <<<"$fault")"
    status=1
fi
if ((status == 0)); then say "built from commit $commit"; else say "NOT what commit $commit builds"; fi
exit "$status"
