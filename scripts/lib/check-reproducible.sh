#!/usr/bin/env bash
# scripts/release --check-reproducible: two clones of the last commit, in folders of different names and
# depths, each released in turn (so at different times, never signed), and everything they wrote
# compared byte for byte: the exe, the DLLs, the PDB, the link map and the notices as built, the zip,
# the symbols zip, the MSI and the SBOM.
# Where the MSIs differ, their tables, files and summary information are compared to show where.
# ZONBEK_VERSION is passed on; ZONBEK_REPRO_KEEP=1 keeps the clones.
set -euo pipefail
repo=$(cd "$(dirname "${BASH_SOURCE[0]}")/../.." && pwd)
say() { printf 'reproducible: %s\n' "$*"; }

commit=$(git -C "$repo" rev-parse HEAD)
[[ -z $(git -C "$repo" status --porcelain --untracked-files=no) ]] ||
    say "the work tree has uncommitted changes; they are not checked, only commit ${commit:0:12}"
work=$(mktemp -d "${TMPDIR:-/tmp}/zonbek-reproducible.XXXXXX")
[[ ${ZONBEK_REPRO_KEEP:-0} == 1 ]] || trap 'rm -rf "$work"' EXIT
first=$work/a/zonbek-service
second=$work/elsewhere/a/much/deeper/folder/zb

for clone in "$first" "$second"; do
    git clone -q --no-local "$repo" "$clone"
    git -C "$clone" checkout -q --detach "$commit"
    say "releasing in $clone"
    env -u ZONBEK_SIGN_PFX -u ZONBEK_SIGN_PASSWORD -u ZONBEK_SIGN_PASSWORD_FILE -u ZONBEK_SIGN_TIMESTAMP_URL \
        bash "$clone/scripts/release" |
        sed 's/^/  /'
done

status=0
# same FILE...: each FILE, given relative to a clone, is the same in both.
same() {
    local file
    for file in "$@"; do
        if cmp -s "$first/$file" "$second/$file"; then
            printf '  same       %-48s sha256 %s\n' "$(basename "$file")" "$(sha256sum <"$first/$file" | cut -c1-64)"
        else
            printf '  DIFFERENT  %-48s %s bytes differ\n' "$(basename "$file")" "$(cmp -l "$first/$file" "$second/$file" | wc -l)"
            [[ $file != *.msi ]] || explain_msi "$file"
            status=1
        fi
    done
}

# explain_msi FILE: where two MSIs differ: their tables (msidump), their files (msiextract) and their
# summary information.
explain_msi() {
    local file=$1 side root
    for side in first second; do
        [[ $side == first ]] && root=$first || root=$second
        mkdir -p "$work/msi-$side/tables" "$work/msi-$side/files"
        msidump --tables --directory "$work/msi-$side/tables" "$root/$file" >/dev/null
        msiextract --directory "$work/msi-$side/files" "$root/$file" >/dev/null
        msiinfo suminfo "$root/$file" >"$work/msi-$side/suminfo"
    done
    diff -r "$work/msi-first" "$work/msi-second" | sed 's/^/             /' | head -n 20 || true
}

version=$(cd "$first/build/release" && ls ./*-x64.msi | sed 's/.*zonbek-service-\(.*\)-x64.msi/\1/')
say "commit ${commit:0:12}, version $version"
same build/release-work/build/zonbeksvc.exe build/release-work/build/zonbekmsg.dll \
    build/release-work/build/zonbekstate.dll build/release-work/build/zonbeksvc.pdb \
    build/release-work/build/zonbeksvc.map build/release-work/build/THIRD-PARTY-NOTICES.txt
same "build/release/zonbek-service-$version-win64.zip" "build/release/zonbek-service-$version-symbols.zip"
same "build/release/zonbek-service-$version-x64.msi" "build/release/zonbek-service-$version.cdx.json"
same build/release/SHA256SUMS
if ((status == 0)); then say "reproducible"; else say "NOT reproducible"; fi
exit "$status"
