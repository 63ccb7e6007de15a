#!/usr/bin/env bash
# The zip that the package target makes (CPack with the windows build's configuration) holds exactly
# the service, the message DLL, the two scripts, the guide and the third-party notices, in one folder:
# the binaries and the notices as built, the scripts, the guide and the notices as Windows text files.
set -euo pipefail
here=$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)
repo=$(cd "$here/../.." && pwd)
build=${ZONBEK_WINDOWS_BUILD:-$repo/build/windows}
cpack=${ZONBEK_CPACK:-cpack}
cmake=${ZONBEK_CMAKE:-cmake}
fail() { printf '[check_package_contents] FAILED: %s\n' "$*" >&2; exit 1; }

[[ -f $build/CPackConfig.cmake && -f $build/zonbeksvc.exe && -f $build/zonbekmsg.dll ]] ||
    fail "$build is not a built windows preset (cmake --preset windows && cmake --build --preset windows)"

work=$(mktemp -d "${TMPDIR:-/tmp}/zonbek-package.XXXXXX")
# CPack's install step leaves its manifest in the build tree; only one this run made is removed.
manifest=$build/install_manifest.txt
[[ -e $manifest ]] && made_manifest=0 || made_manifest=1
cleanup() {
    rm -rf "$work"
    if ((made_manifest)); then rm -f "$manifest"; fi
}
trap cleanup EXIT
"$cpack" --config "$build/CPackConfig.cmake" -B "$work/out" >"$work/cpack.log" 2>&1 ||
    fail "cpack failed: $(cat "$work/cpack.log")"
zips=("$work"/out/*.zip)
[[ ${#zips[@]} == 1 && -f ${zips[0]} ]] || fail "cpack made no single zip: $(ls "$work/out")"
zip=${zips[0]}
top=$(basename "$zip" .zip)
[[ $top =~ ^zonbek-service-[0-9]+\.[0-9]+\.[0-9]+-win64$ ]] || fail "unexpected package name $top"

expected=$(printf "$top/%s\n" THIRD-PARTY-NOTICES.txt admin-guide.txt install.cmd uninstall.cmd zonbekmsg.dll zonbeksvc.exe)
actual=$(cd "$work" && "$cmake" -E tar tf "$zip" | grep -v '/$' | LC_ALL=C sort)
[[ $actual == "$expected" ]] || fail "the zip holds:
$actual
instead of:
$expected"

mkdir "$work/unpacked"
(cd "$work/unpacked" && "$cmake" -E tar xf "$zip")
dir=$work/unpacked/$top
for binary in zonbeksvc.exe zonbekmsg.dll THIRD-PARTY-NOTICES.txt; do
    cmp -s "$dir/$binary" "$build/$binary" || fail "$binary in the zip differs from the one in $build"
done
for text in install.cmd uninstall.cmd admin-guide.txt THIRD-PARTY-NOTICES.txt; do
    [[ -s $dir/$text ]] || fail "$text is empty"
    if grep -n -v $'\r$' "$dir/$text" >"$work/lf" || [[ $(tail -c 2 "$dir/$text" | od -An -c | tr -d ' ') != '\r\n' ]]; then
        fail "$text has lines that do not end in CR LF: $(head -n 3 "$work/lf")"
    fi
done
for script in install.cmd uninstall.cmd; do
    ! grep -q '@[A-Z_]*@' "$dir/$script" || fail "$script still holds a placeholder: $(grep '@[A-Z_]*@' "$dir/$script")"
    version=${top#zonbek-service-}
    grep -q "Zonbek service ${version%-win64} " "$dir/$script" || fail "$script does not name the version ${version%-win64}"
done
tr -d '\r' <"$dir/admin-guide.txt" | cmp -s - "$repo/docs/admin-guide.md" ||
    fail "admin-guide.txt is not docs/admin-guide.md"
# The exe takes MinGW-w64's runtime, whose ZPL asks a binary to reproduce its notice; the message DLL
# takes nothing.
notices=$(tr -d '\r' <"$dir/THIRD-PARTY-NOTICES.txt")
grep -q '^mingw-w64-x86-64-dev ' <<<"$notices" && grep -q '^2\. Redistributions in binary form must reproduce' <<<"$notices" &&
    grep -qx 'zonbekmsg.dll: nothing but its own objects' <<<"$notices" || fail "THIRD-PARTY-NOTICES.txt holds:"$'\n'"$notices"
echo "[check_package_contents] $top.zip: $(tr '\n' ' ' <<<"$actual")"
