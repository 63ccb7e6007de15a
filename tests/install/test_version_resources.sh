#!/usr/bin/env bash
# zonbeksvc.exe and zonbekmsg.dll carry a version resource with the project's version, as Windows
# reads it (GetFileVersionInfo, VerQueryValue).
. "$(dirname "${BASH_SOURCE[0]}")/lib.sh"
package_begin
program=$(install_test_program version_info.exe)

version=${ZONBEK_VERSION:-}
if [[ -z $version ]]; then
    version=$(sed -n 's/^project([^ ]* VERSION \([0-9.]*\).*/\1/p' "$REPO_DIR/CMakeLists.txt")
fi
[[ $version =~ ^[0-9]+(\.[0-9]+){0,3}$ ]] || die "no project version (ZONBEK_VERSION is [$version])"
IFS=. read -r -a parts <<<"$version"
while ((${#parts[@]} < 4)); do parts+=(0); done
fixed=$(IFS=.; echo "${parts[*]}")

# expect_version FILE TYPE DESCRIPTION
expect_version() {
    local file=$1 type=$2 description=$3 out status=0
    out=$(wine_quiet "$program" "$PACKAGE_WIN\\$file") || status=$?
    assert_eq 0 "$status" "version_info.exe $file: exit code (output: $out)"
    assert_lines "the version resource of $file" "$out" \
        "file_version=$fixed" \
        "product_version=$fixed" \
        "file_type=$type" \
        "translation=040904b0" \
        "CompanyName=Kavix" \
        "FileDescription=$description" \
        "FileVersion=$version" \
        "InternalName=${file%.*}" \
        "OriginalFilename=$file" \
        "ProductName=Zonbek service" \
        "ProductVersion=$version"
}

expect_version zonbeksvc.exe app "Zonbek service host"
expect_version zonbekmsg.dll dll "Zonbek service event messages"
