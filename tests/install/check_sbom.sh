#!/usr/bin/env bash
# The SBOM that a release writes (packaging/third-party.py sbom), here of the windows build's files: valid
# against the CycloneDX 1.6 schema by the CycloneDX library's strict validator (installed with npm from
# tests/install/sbom's pinned versions into build/sbom-validator), which rejects a broken one; the same bytes
# when made again, another serial number when a file changes; every file, the zip and the MSI too, with
# its SHA-512 and BSI's properties; what each deployable carries; the exe's runtime as the Debian package
# it came from, msvcrt.dll as a part of Windows it imports. A link that took what no package owns fails
# the generator.
set -euo pipefail
here=$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)
repo=$(cd "$here/../.." && pwd)
build=${ZONBEK_WINDOWS_BUILD:-$repo/build/windows}
fail() { printf '[check_sbom] FAILED: %s\n' "$*" >&2; exit 1; }
source "$repo/scripts/lib/packages.sh"
command -v node >/dev/null || ensure_packages nodejs npm
files=(zonbeksvc.exe zonbekmsg.dll zonbekstate.dll admin-guide.txt THIRD-PARTY-NOTICES.txt install.cmd uninstall.cmd)
for file in "${files[@]}" zonbeksvc.linked; do
    [[ -f $build/$file ]] || fail "$build/$file is missing: build the windows preset first"
done

validator=$repo/build/sbom-validator
if ! cmp -s "$here/sbom/package.json" "$validator/package.json" || [[ ! -d $validator/node_modules ]]; then
    rm -rf "$validator"
    mkdir -p "$validator"
    # The optional packages are the library's XML support, which the JSON check does not use.
    (cd "$validator" && cp "$here/sbom/package.json" . &&
        npm install --omit=optional --ignore-scripts --no-package-lock --no-audit --no-fund) >"$validator/npm.log" 2>&1 ||
        fail "npm install failed: $(tail -n 5 "$validator/npm.log")"
fi
cp "$here/sbom/validate.js" "$validator/"

work=$(mktemp -d "${TMPDIR:-/tmp}/zonbek-sbom.XXXXXX")
trap 'rm -rf "$work"' EXIT
sbom() { python3 "$repo/packaging/third-party.py" sbom "$work/$1.json" 1.2.3 1700000000 "$build" "${@:2}"; }
mkdir -p "$work/zonbek-service-1.2.3-win64"
cp "${files[@]/#/$build/}" "$work/zonbek-service-1.2.3-win64/"
(cd "$work" && zip -q -X -D -r deployables.zip zonbek-service-1.2.3-win64 -x '*/zonbekstate.dll') || fail "zip failed"
SOURCE_DATE_EPOCH=1700000000 bash "$repo/packaging/build-msi.sh" "$work/zonbek-service-1.2.3-win64" 1.2.3 \
    "$work/deployables.msi" >/dev/null || fail "build-msi.sh failed"
sbom first "${files[@]/#/$build/}" "$work"/deployables.{zip,msi}
sbom again "${files[@]/#/$build/}" "$work"/deployables.{zip,msi}
cmp -s "$work/first.json" "$work/again.json" || fail "two SBOMs of the same files differ"
node "$validator/validate.js" "$work/first.json" || fail "the SBOM is not valid CycloneDX 1.6"
sed 's/"SHA-512"/"SHA-513"/' "$work/first.json" >"$work/broken.json"
! node "$validator/validate.js" "$work/broken.json" 2>/dev/null || fail "the validator took an unknown hash algorithm"

cp "$build/admin-guide.txt" "$work/admin-guide.txt"
printf ' ' >>"$work/admin-guide.txt"
! sbom twice "${files[@]/#/$build/}" "$work/admin-guide.txt" 2>/dev/null || fail "two files of one name were taken"
sbom changed "$build/zonbeksvc.exe" "$work/admin-guide.txt"
serial() { sed -n 's/^  "serialNumber": "\(urn:uuid:[0-9a-f-]*\)",$/\1/p' "$work/$1.json"; }
[[ -n $(serial first) && $(serial first) != "$(serial changed)" ]] || fail "a changed file kept the serial number $(serial first)"

mingw=$(dpkg-query -W -f '${Version}' mingw-w64-x86-64-dev)
python3 - "$work/first.json" "$build" "$work" "pkg:deb/debian/mingw-w64-x86-64-dev@$mingw?arch=all&distro=debian-12" <<'EOF' || exit 1
import hashlib, json, sys
bom, build, work, mingw = json.load(open(sys.argv[1])), sys.argv[2], sys.argv[3], sys.argv[4]
def fail(message): sys.exit(f"[check_sbom] FAILED: {message}")
everything = bom["components"] + [part for c in bom["components"] for part in c.get("components", [])]
components = {c["bom-ref"]: c for c in everything}
depends = {d["ref"]: d["dependsOn"] for d in bom["dependencies"]}
for ref, component in components.items():
    bsi = sorted(p["name"][14:] for p in component["properties"] if p["name"].startswith("bsi:component:"))
    if bsi != ["archive", "executable"] + ["filename"] * (component["type"] != "operating-system") + ["structured"]:
        fail(f"{ref} has the BSI properties {bsi}")
    if component["type"] == "file":
        folder = work if component["name"].startswith("deployables.") else build
        digest = hashlib.sha512(open(f"{folder}/{component['name']}", "rb").read()).hexdigest()
        if component["hashes"] != [{"alg": "SHA-512", "content": digest}]:
            fail(f"{component['name']}'s hash is not its SHA-512")
if mingw not in depends["file:zonbeksvc.exe"] or mingw not in depends["file:zonbekstate.dll"] or depends["file:zonbekmsg.dll"]:
    fail(f"the binaries' dependencies are {depends}")
if "os:msvcrt.dll" not in depends["file:zonbeksvc.exe"] or components["os:msvcrt.dll"] not in components["os:windows"]["components"]:
    fail(f"msvcrt.dll is not a part of Windows that zonbeksvc.exe depends on: {depends['file:zonbeksvc.exe']}")
if "file:zonbekstate.dll" not in depends["file:deployables.msi"] or "file:zonbekstate.dll" in depends["file:deployables.zip"] \
        or depends["zonbek-service"] != ["file:deployables.msi", "file:deployables.zip"]:
    fail(f"the deployables carry {depends}")
library = components[mingw]
if "ZPL-2.1" not in library["licenses"][0]["expression"] or not library["supplier"]["contact"]:
    fail(f"mingw-w64-x86-64-dev is {library}")
stated = [ref for composition in bom["compositions"] for ref in composition["dependencies"]]
if sorted(stated) != sorted(list(components) + ["zonbek-service"]):
    fail(f"not every component's dependencies are said to be complete, incomplete or unknown, once: {stated}")
if not bom["metadata"]["manufacturer"]["url"] or not bom["metadata"]["tools"]["components"][0]["version"]:
    fail(f"the SBOM's creator or generator is {bom['metadata']}")
EOF

mkdir "$work/stray"
touch "$work/stray/stray.dll"
printf 'Reading /tmp/zonbek-stray.o\n' >"$work/stray/stray.linked"
! python3 "$repo/packaging/third-party.py" notices "$work/notices.txt" "$work/stray/stray.linked" 2>"$work/stray.log" &&
    grep -q 'no Debian package owns /tmp/zonbek-stray.o' "$work/stray.log" ||
    fail "a link that took an object no package owns gave notices: $(cat "$work/stray.log")"
echo "[check_sbom] $(grep -c '"type": "file"' "$work/first.json") files, $(grep -c '"purl": "pkg:deb/' "$work/first.json") packages and $(grep -c '"bom-ref": "os:.*\.dll"' "$work/first.json") Windows DLLs, valid CycloneDX 1.6, $(serial first)"
