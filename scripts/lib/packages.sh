# Installs the Debian packages a script needs, when any is missing; quiet when all are there.
ensure_packages() {
    local missing=()
    local package
    for package in "$@"; do
        dpkg-query -W -f='${Status}' "$package" 2>/dev/null | grep -q "install ok installed" || missing+=("$package")
    done
    [ ${#missing[@]} -eq 0 ] && return 0
    echo "Installing: ${missing[*]}"
    if [ "$(id -u)" -ne 0 ]; then
        echo "These packages are missing and installing them needs root: ${missing[*]}" >&2
        return 1
    fi
    export DEBIAN_FRONTEND=noninteractive
    apt-get update -qq
    apt-get install -y -qq --no-install-recommends "${missing[@]}" >/dev/null
}

# What building the service and its tests needs.
# The shipped exe is clang 19's with lld 19 and a PDB, against MinGW-w64 GCC's headers and libraries (19
# for Control Flow Guard and SHA-256 source hashes); GCC builds the same sources as the second compiler.
# llvm-19 has llvm-readobj, llvm-pdbutil, llvm-ar and llvm-dwarfdump; clang (14) builds the fuzzer. python3
# runs packaging/third-party.py, which writes the third-party notices and the SBOM.
BUILD_PACKAGES=(cmake ninja-build g++ libgtest-dev libgmock-dev g++-mingw-w64-x86-64-posix binutils-mingw-w64-x86-64
    clang clang-19 lld-19 llvm-19 python3)
# What the end-to-end tests need: a service manager, registry and console.
WINE_PACKAGES=(wine64 wine)
# Sanitizers and the fuzzer.
CHECK_PACKAGES=(clang libclang-rt-14-dev clang-tidy cppcheck)
# What a release needs beyond the build: the MSI (wixl; msitools and faketime for packaging/build-msi.sh
# and its tests), signing, the zips.
RELEASE_PACKAGES=(wixl msitools osslsigncode zip faketime)
