#!/usr/bin/env bash
# scripts/release with a throwaway self-signed certificate, in a clone of the last commit: the exe and
# the DLL in the zip, the MSI and the custom action DLL in it carry Authenticode SHA-256 signatures,
# made at the signing time asked for, that osslsigncode verifies against that certificate; the password
# (handed over on a descriptor) is nowhere in the build; the symbols still match the signed exe, and the
# signed exe runs as the service under Wine. scripts/release --verify finds the signed release built
# from that commit, and not a release whose exe someone changed and signed again with the same
# certificate, nor one whose exe has bytes added inside its certificate table.
. "$(dirname "${BASH_SOURCE[0]}")/lib.sh"
e2e_begin
keys=$E2E_WORK/keys
mkdir -p "$keys"
openssl req -x509 -newkey rsa:2048 -nodes -keyout "$keys/key.pem" -out "$keys/cert.pem" -days 2 \
    -subj "/CN=Zonbek release test" -addext extendedKeyUsage=codeSigning >/dev/null 2>&1 ||
    die "openssl could not make the test certificate"
openssl pkcs12 -export -inkey "$keys/key.pem" -in "$keys/cert.pem" -out "$keys/sign.pfx" \
    -passout pass:'test pass word' || die "openssl could not make the PKCS#12 file"

# --verify rebuilds in a clone's build/, as a release is built: the build folder's place is in the PDB.
source=$E2E_WORK/source
git clone -q --no-local "$REPO_DIR" "$source"
sign_time=$(($(date +%s) + 3600))
ZONBEK_SIGN_PFX=$keys/sign.pfx ZONBEK_SIGN_PASSWORD_FILE=/dev/fd/3 ZONBEK_SIGN_TIME=$sign_time \
    bash "$source/scripts/release" >"$E2E_WORK/release.log" 2>&1 3< <(printf 'test pass word') ||
    fail "scripts/release failed: $(tail -n 20 "$E2E_WORK/release.log")"
grep -q '^release: signed zonbeksvc.exe, zonbekmsg.dll, zonbekstate.dll and the MSI with sign.pfx$' "$E2E_WORK/release.log" ||
    fail "scripts/release did not say that it signed: $(cat "$E2E_WORK/release.log")"
! grep -rqF 'test pass word' "$source/build" || fail "the password is in $(grep -rlF 'test pass word' "$source/build")"
out=$source/build/release
(cd "$out" && sha256sum --quiet -c SHA256SUMS) || fail "SHA256SUMS does not match the artefacts"

unpacked=$E2E_WORK/unpacked
mkdir -p "$unpacked"
(cd "$unpacked" && unzip -q "$out"/zonbek-service-*-win64.zip && unzip -q "$out"/zonbek-service-*-symbols.zip)
exe=$(echo "$unpacked"/zonbek-service-*-win64/zonbeksvc.exe)
dll=$(echo "$unpacked"/zonbek-service-*-win64/zonbekmsg.dll)
msi=$(echo "$out"/zonbek-service-*-x64.msi)

# verify FILE: osslsigncode accepts FILE's signature, made with SHA-256 by the test certificate.
verify() {
    local result status=0
    result=$(osslsigncode verify -CAfile "$keys/cert.pem" -in "$1" 2>&1) || status=$?
    ((status == 0)) && grep -q '^Signature verification: ok' <<<"$result" ||
        fail "osslsigncode verify $(basename "$1"): exit $status:"$'\n'"$result"
    grep -q 'Message digest algorithm *: SHA256' <<<"$result" ||
        fail "$(basename "$1") is not signed with SHA-256:"$'\n'"$result"
    grep -q 'Subject: /CN=Zonbek release test' <<<"$result" ||
        fail "$(basename "$1") is not signed by the test certificate:"$'\n'"$result"
    grep -q "Signing time: $(LC_ALL=C date -u -d "@$sign_time" '+%b %e %H:%M:%S %Y') GMT" <<<"$result" ||
        fail "$(basename "$1") is not signed at ZONBEK_SIGN_TIME:"$'\n'"$result"
}
verify "$exe"
verify "$dll"
verify "$msi"
# The custom action beside the zip's files, for the imports' check below too.
msiinfo extract "$msi" Binary.ServiceState >"$(dirname "$exe")/zonbekstate.dll" || fail "the MSI holds no Binary.ServiceState"
verify "$(dirname "$exe")/zonbekstate.dll"
# A changed byte must break the signature, or the check above proves nothing.
cp "$exe" "$E2E_WORK/tampered.exe"
printf 'X' | dd of="$E2E_WORK/tampered.exe" bs=1 seek=2000 conv=notrunc status=none
! osslsigncode verify -CAfile "$keys/cert.pem" -in "$E2E_WORK/tampered.exe" >/dev/null 2>&1 ||
    fail "osslsigncode verified an exe with a changed byte"

ZONBEK_WINDOWS_BUILD=$(dirname "$exe") bash "$REPO_DIR/tests/install/check_imports.sh" >/dev/null ||
    fail "the signed binaries' imports"
cp "$(echo "$unpacked"/zonbek-service-*-symbols/zonbeksvc.pdb)" "$(dirname "$exe")/"
ZONBEK_WINDOWS_BUILD=$(dirname "$exe") bash "$REPO_DIR/tests/install/check_pdb.sh" >/dev/null ||
    fail "the symbols zip's PDB does not match the signed exe"

# verify_release DIR STATUS LINE...: scripts/release --verify DIR exits with STATUS and says each LINE.
verify_release() {
    local status=0 line
    bash "$REPO_DIR/scripts/release" --verify "$1" >"$E2E_WORK/verify.log" 2>&1 || status=$?
    ((status == $2)) || fail "--verify exited with $status, not $2: $(cat "$E2E_WORK/verify.log")"
    for line in "${@:3}"; do
        grep -qE "^  $line" "$E2E_WORK/verify.log" || fail "--verify did not say [$line]: $(cat "$E2E_WORK/verify.log")"
    done
}
verify_release "$out" 0 "same +zonbeksvc.exe +signed; as rebuilt with its signature" "same +zonbekstate.dll +signed" \
    "same +zonbek-service-.*-x64.msi +as built from its binaries, with its signature" "same +SHA256SUMS"
((10 == $(grep -c '^  same ' "$E2E_WORK/verify.log"))) || fail "--verify did not find every file the same: $(cat "$E2E_WORK/verify.log")"
# release_with_exe EXE DIR: the release in DIR with EXE in its zip, and new sums.
zip=$(basename "$(echo "$out"/zonbek-service-*-win64.zip)")
release_with_exe() {
    local folder=$E2E_WORK/${2##*/}-zip/$(basename "$(dirname "$exe")")
    cp -r "$out" "$2" && rm "$2/$zip" && mkdir -p "$folder"
    cp "$(dirname "$exe")"/{zonbekmsg.dll,install.cmd,uninstall.cmd,admin-guide.txt,THIRD-PARTY-NOTICES.txt} "$folder/"
    cp "$1" "$folder/zonbeksvc.exe"
    (cd "$(dirname "$folder")" && zip -q -X -D -r "$2/$zip" "$(basename "$folder")")
    (cd "$2" && sha256sum zonbek-service-* >SHA256SUMS)
}
# An exe changed by one byte and signed again: the MSI no longer holds the zip's exe.
osslsigncode remove-signature -in "$exe" -out "$E2E_WORK/plain.exe" >/dev/null
printf 'X' | dd of="$E2E_WORK/plain.exe" bs=1 seek=2000 conv=notrunc status=none
osslsigncode sign -pkcs12 "$keys/sign.pfx" -pass 'test pass word' -h sha256 -in "$E2E_WORK/plain.exe" \
    -out "$E2E_WORK/changed.exe" >/dev/null
release_with_exe "$E2E_WORK/changed.exe" "$E2E_WORK/tampered"
verify_release "$E2E_WORK/tampered" 1 "DIFFERENT +zonbeksvc.exe +signed" "DIFFERENT +$zip" \
    "DIFFERENT +zonbek-service-.*-x64.msi" "same +zonbekmsg.dll" "same +zonbek-service-.*-symbols.zip"
# The exe with 32 bytes after the signature inside its certificate table, counted by the table's two
# lengths: the signature still verifies (Windows checks no PE checksum of an exe).
python3 - "$exe" "$E2E_WORK/padded.exe" <<'EOF'
import struct, sys
data = bytearray(open(sys.argv[1], "rb").read())
header = struct.unpack_from("<I", data, 0x3C)[0] + 24
table, size = struct.unpack_from("<II", data, header + 144)
struct.pack_into("<I", data, header + 148, size + 32)
struct.pack_into("<I", data, table, struct.unpack_from("<I", data, table)[0] + 32)
open(sys.argv[2], "wb").write(data + b"\0PADDING" * 4)
EOF
verify "$E2E_WORK/padded.exe"
release_with_exe "$E2E_WORK/padded.exe" "$E2E_WORK/padded"
verify_release "$E2E_WORK/padded" 1 "DIFFERENT +zonbeksvc.exe +signed; as rebuilt with its signature"

cp "$exe" "$WINEPREFIX/drive_c/zonbek/zonbeksvc.exe"
setup_service
tool_config "ctrlc 0"
start_service
wait_for_tool_file zonbek.ready
out=$(svcctl stop zonbek) || fail "the stop control was refused: $out"
wait_service_exit
expect_reports \
    "$(status START_PENDING 0 0 1 3000)" \
    "$(status RUNNING 1 0 0 0)" \
    "$(status STOP_PENDING 1 0 2 10000)" \
    "$(status STOPPED 1 0 0 0)"
