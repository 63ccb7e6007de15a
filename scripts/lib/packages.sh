# shellcheck shell=bash disable=SC2034 # sourced: the scripts use the lists
# The Debian packages each script needs, and ensure_packages, which installs those that are missing.
# Every script the README names takes its packages from here, so that a fresh Debian 12 gets them all
# (scripts/fresh-check proves it).

# Installs the packages given that are missing, and says how long that took; quiet when all are there.
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
    local started=$SECONDS log
    log=$(mktemp)
    # apt's own output only when it fails: a fresh machine's install is hundreds of lines.
    if ! { DEBIAN_FRONTEND=noninteractive apt-get update -qq &&
        DEBIAN_FRONTEND=noninteractive apt-get install -y -qq --no-install-recommends "${missing[@]}"; } >"$log" 2>&1; then
        tail -n 30 "$log" >&2
        rm -f "$log"
        echo "Installing ${missing[*]} failed (apt-get's last lines above)" >&2
        return 1
    fi
    rm -f "$log"
    echo "Installed ${#missing[@]} package(s) in $((SECONDS - started)) s"
}

# The windows and windows-gcc presets: the shipped exe is clang 19's with lld 19 and a PDB, against
# MinGW-w64 GCC's headers and libraries (19 for Control Flow Guard and SHA-256 source hashes); GCC builds
# the same sources as the second compiler. llvm-19 has llvm-readobj, llvm-pdbutil, llvm-ar and
# llvm-dwarfdump; python3 runs packaging/third-party.py, which writes the third-party notices and the SBOM.
WINDOWS_BUILD_PACKAGES=(cmake ninja-build g++-mingw-w64-x86-64-posix binutils-mingw-w64-x86-64
    clang-19 lld-19 llvm-19 python3)
# The native preset and those that inherit it: the unit tests against the Win32 stand-in.
NATIVE_BUILD_PACKAGES=(cmake ninja-build g++ libgtest-dev libgmock-dev)
# Both, for the scripts that build everything.
BUILD_PACKAGES=("${WINDOWS_BUILD_PACKAGES[@]}" "${NATIVE_BUILD_PACKAGES[@]}")
# What the end-to-end tests and the demo need: a service manager, registry and console.
WINE_PACKAGES=(wine64 wine)
# The fuzz preset: Debian's default clang, 14, with its libFuzzer runtime.
FUZZ_PACKAGES=(clang libclang-rt-14-dev)
# scripts/lint's checkers.
LINT_PACKAGES=(clang-tidy cppcheck)
# What a release needs beyond the build: git (the commit's date, the clones of --check-reproducible and
# --verify), the MSI (wixl; msitools and faketime for packaging/build-msi.sh), signing, the zips (zip to
# pack; unzip and zipinfo for --verify and the signed release's test).
RELEASE_PACKAGES=(git wixl msitools osslsigncode zip unzip faketime)
# The install tests beyond a release: openssl makes the signed release's test certificate. The SBOM's
# check installs nodejs and npm itself when no node is there.
TEST_PACKAGES=(openssl)
# scripts/bench finds the tool's process with pgrep.
BENCH_PACKAGES=(procps)
