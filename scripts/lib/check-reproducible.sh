#!/usr/bin/env bash
# scripts/release --check-reproducible: two clones of the last commit, in folders of different names and
# depths, each released in turn (so at different times, never signed), and everything they wrote
# compared byte for byte: the exe, the DLL and the PDB as built, the zip, the symbols zip and the MSI.
# Where the MSIs differ, their tables and their files are compared too, and the differing bytes named.
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
    env -u ZONBEK_SIGN_PFX -u ZONBEK_SIGN_PASSWORD -u ZONBEK_SIGN_TIMESTAMP_URL bash "$clone/scripts/release" |
        sed 's/^/  /'
done

status=0
# same LABEL FILE...: each FILE, given relative to a clone, is the same in both.
same() {
    local label=$1 file
    shift
    for file in "$@"; do
        if cmp -s "$first/$file" "$second/$file"; then
            printf '  same       %-48s sha256 %s\n' "$(basename "$file")" "$(sha256sum <"$first/$file" | cut -c1-64)"
        else
            printf '  DIFFERENT  %-48s %s bytes differ\n' "$(basename "$file")" "$(cmp -l "$first/$file" "$second/$file" | wc -l)"
            [[ $label != msi ]] || compare_msi "$file"
            [[ $label == msi && ${MSI_SAME_CONTENT:-0} == 1 ]] || status=1
        fi
    done
}

# compare_msi FILE: the MSI's tables (msidump) and its files (msiextract) in both clones.
compare_msi() {
    local file=$1 side
    for side in first second; do
        local dir=$work/msi-$side root
        [[ $side == first ]] && root=$first || root=$second
        mkdir -p "$dir/tables" "$dir/files"
        msidump --tables --directory "$dir/tables" "$root/$file" >/dev/null
        msiextract --directory "$dir/files" "$root/$file" >/dev/null
        msiinfo suminfo "$root/$file" >"$dir/suminfo"
    done
    if diff -r "$work/msi-first/tables" "$work/msi-second/tables" >"$work/msi.diff" &&
        diff -r "$work/msi-first/files" "$work/msi-second/files" >>"$work/msi.diff"; then
        MSI_SAME_CONTENT=1
        echo "             its tables and files are the same; the summary information differs in:"
        diff "$work/msi-first/suminfo" "$work/msi-second/suminfo" | sed -n 's/^< /               /p' || true
    else
        MSI_SAME_CONTENT=0
        sed 's/^/             /' "$work/msi.diff" | head -n 20
    fi
}

version=$(cd "$first/build/release" && ls ./*-x64.msi | sed 's/.*zonbek-service-\(.*\)-x64.msi/\1/')
say "commit ${commit:0:12}, version $version"
same built build/release-work/build/zonbeksvc.exe build/release-work/build/zonbekmsg.dll \
    build/release-work/build/zonbeksvc.pdb
same zip "build/release/zonbek-service-$version-win64.zip" "build/release/zonbek-service-$version-symbols.zip"
same msi "build/release/zonbek-service-$version-x64.msi"
same sums build/release/SHA256SUMS
if ((status == 0)); then say "reproducible"; else say "NOT reproducible"; fi
exit "$status"
