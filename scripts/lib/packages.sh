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
BUILD_PACKAGES=(cmake ninja-build g++ libgtest-dev libgmock-dev g++-mingw-w64-x86-64-posix binutils-mingw-w64-x86-64)
# What the end-to-end tests need: a service manager, registry and console.
WINE_PACKAGES=(wine64 wine)
# The Windows Installer package: wixl builds it, msibuild (msitools) fixes its package code, faketime its
# dates.
MSI_PACKAGES=(wixl msitools faketime)
# Sanitizers and the fuzzer.
CHECK_PACKAGES=(clang libclang-rt-14-dev clang-tidy cppcheck)
