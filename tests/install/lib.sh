# shellcheck shell=bash
# Shared by the install tests under Wine: the end-to-end harness, the shipped files unpacked into a
# folder whose path has a space, the scripts run as an administrator would run them, and the service
# and registry read back.
. "$(dirname "${BASH_SOURCE[0]}")/../e2e/lib.sh"

INSTALL_TESTS_BUILD=$WINDOWS_BUILD/install-tests
PACKAGE_WIN='C:\Program Files\Kavix\Zonbek Service'
PACKAGE_FILES=(zonbeksvc.exe zonbekmsg.dll install.cmd uninstall.cmd)
PACKAGE_DIR=
SERVICE_KEY='HKLM\SYSTEM\CurrentControlSet\Services\zonbek'
SOURCE_KEY='HKLM\SYSTEM\CurrentControlSet\Services\EventLog\Application\KavixZonbek'

# A fresh prefix with the shipped files in PACKAGE_WIN and the Wine session running.
package_begin() {
    local file
    for file in "${PACKAGE_FILES[@]}"; do
        [[ -f $WINDOWS_BUILD/$file ]] ||
            die "$WINDOWS_BUILD/$file is missing: build the windows preset first (cmake --build --preset windows)"
    done
    e2e_begin
    PACKAGE_DIR=$(unix_path "$PACKAGE_WIN")
    mkdir -p "$PACKAGE_DIR"
    for file in "${PACKAGE_FILES[@]}"; do
        cp "$WINDOWS_BUILD/$file" "$PACKAGE_DIR/"
    done
    session_start
}

# A Windows program of the install tests, copied into the prefix; prints its Windows path.
install_test_program() {
    local name=$1 dir='C:\install-tests'
    [[ -f $INSTALL_TESTS_BUILD/$name ]] || die "$INSTALL_TESTS_BUILD/$name is missing: build the windows preset first"
    mkdir -p "$(unix_path "$dir")"
    cp "$INSTALL_TESTS_BUILD/$name" "$(unix_path "$dir")/"
    printf '%s\\%s\n' "$dir" "$name"
}

# copy_tool DIR: the test tool as zonbek.exe in another folder than the installation directory.
copy_tool() {
    local dir
    dir=$(unix_path "$1")
    mkdir -p "$dir"
    cp "$TOOL_EXE" "$dir/zonbek.exe"
}

# run_script NAME ARG...: runs install.cmd or uninstall.cmd from the package folder, as cmd runs a
# batch file typed at the prompt. Sets SCRIPT_STATUS and SCRIPT_OUTPUT (standard output and error,
# without CRs). SCRIPT_DLL_OVERRIDES adds Wine DLL overrides for this one run.
SCRIPT_STATUS=
SCRIPT_OUTPUT=
SCRIPT_DLL_OVERRIDES=
run_script() {
    local name=$1 overrides=$WINEDLLOVERRIDES
    shift
    [[ -z $SCRIPT_DLL_OVERRIDES ]] || overrides+=";$SCRIPT_DLL_OVERRIDES"
    SCRIPT_STATUS=0
    echo "\$ $name $*" >>"$COMMAND_LOG"
    WINEDLLOVERRIDES=$overrides WINEDEBUG=-all LC_ALL=C.UTF-8 fixed_layout timeout -k 5 "$HANG_SECONDS" \
        wine "$PACKAGE_WIN\\$name" "$@" >"$E2E_WORK/script.out" 2>&1 </dev/null || SCRIPT_STATUS=$?
    [[ $SCRIPT_STATUS -ne 124 ]] || die "$name $* hung for ${HANG_SECONDS}s"
    SCRIPT_OUTPUT=$(tr -d '\r' <"$E2E_WORK/script.out")
    printf '%s\nexit %s\n' "$SCRIPT_OUTPUT" "$SCRIPT_STATUS" >>"$COMMAND_LOG"
}

# expect_script STATUS TEXT...: the last script ended with STATUS and said each TEXT (literally).
expect_script() {
    local status=$1 text
    shift
    [[ $SCRIPT_STATUS == "$status" ]] ||
        fail "exit code $SCRIPT_STATUS instead of $status; the script said:"$'\n'"$SCRIPT_OUTPUT"
    for text in "$@"; do
        grep -qF -- "$text" <<<"$SCRIPT_OUTPUT" ||
            fail "the script did not say [$text]; it said:"$'\n'"$SCRIPT_OUTPUT"
    done
}

# The service's state number as the service manager has it (1 stopped, 3 stop pending, 4 running),
# or "missing".
service_state() {
    local out status=0
    out=$(svcctl query zonbek) || status=$?
    if ((status == 0)); then
        sed -n 's/^state=\([0-9]*\) .*/\1/p' <<<"$out"
    elif [[ $out == "error=1060 call=OpenService" ]]; then
        echo missing
    else
        die "svcctl query zonbek: $out"
    fi
}

# wait_service_state STATE [SECONDS]: waits until the service manager shows STATE (default 30 s); for
# running (4) SERVICE_PID becomes the service process's.
wait_service_state() {
    local out
    out=$(svcctl waitstate zonbek "$1" $((${2:-30} * 1000))) ||
        fail "the service zonbek did not reach state $1 within ${2:-30}s: $out"
    [[ $1 != 4 ]] || SERVICE_PID=$(sed -n 's/.* pid=\([0-9]*\)$/\1/p' <<<"$out")
}

# reg_value KEY NAME: prints "TYPE DATA" as reg query shows it, or "missing".
reg_value() {
    local out status=0
    out=$(WINEDEBUG=-all fixed_layout timeout -k 5 "$HANG_SECONDS" wine reg query "$1" /v "$2" 2>/dev/null) || status=$?
    [[ $status -ne 124 ]] || die "reg query $1 /v $2 hung"
    if ((status != 0)); then
        echo missing
        return
    fi
    tr -d '\r' <<<"$out" | awk -F '    ' -v name="$2" '
        $1 == "" && $2 == name { data = $4; for (i = 5; i <= NF; i++) data = data FS $i; print $3 " " data; found = 1 }
        END { if (!found) print "unreadable" }'
}

reg_key_exists() {
    local status=0
    WINEDEBUG=-all fixed_layout timeout -k 5 "$HANG_SECONDS" wine reg query "$1" >/dev/null 2>&1 || status=$?
    [[ $status -ne 124 ]] || die "reg query $1 hung"
    return "$status"
}

# expect_installed TOOL_DIR WHEN: the service and the registry as install.cmd leaves them.
expect_installed() {
    local dir=$1 when=$2
    [[ $(service_state) != missing ]] || fail "$when: the service zonbek does not exist"
    assert_eq "\"$PACKAGE_WIN\\zonbeksvc.exe\"" "$(reg_value "$SERVICE_KEY" ImagePath | cut -d' ' -f2-)" \
        "$when: the service's ImagePath"
    expect_registered "$dir" "$when"
}

# expect_registered TOOL_DIR WHEN: what both ways of installing write: an own-process service with
# automatic start, InstallDir, and the event source with the message DLL in PACKAGE_WIN.
expect_registered() {
    local dir=$1 when=$2
    assert_eq "REG_DWORD 0x10" "$(reg_value "$SERVICE_KEY" Type)" "$when: the service type (own process)"
    assert_eq "REG_DWORD 0x2" "$(reg_value "$SERVICE_KEY" Start)" "$when: the start type (automatic)"
    assert_eq "REG_SZ $dir" "$(reg_value "$INSTALL_KEY" InstallDir)" "$when: InstallDir"
    assert_eq "REG_EXPAND_SZ $PACKAGE_WIN\\zonbekmsg.dll" "$(reg_value "$SOURCE_KEY" EventMessageFile)" \
        "$when: the event source's EventMessageFile"
    assert_eq "REG_DWORD 0x7" "$(reg_value "$SOURCE_KEY" TypesSupported)" "$when: the event source's TypesSupported"
}

# expect_not_installed WHEN: no service, no event source, no InstallDir.
expect_not_installed() {
    local when=$1
    assert_eq missing "$(service_state)" "$when: the service zonbek"
    ! reg_key_exists "$SOURCE_KEY" || fail "$when: the event source's key $SOURCE_KEY exists"
    assert_eq missing "$(reg_value "$INSTALL_KEY" InstallDir)" "$when: InstallDir"
}

# ---------------------------------------------------------------------------------------------------
# The Windows Installer package, built by packaging/build-msi.sh and run by Wine's msiexec. It installs
# into PACKAGE_WIN, the folder that the guide also gives for the zip.

MSI_DIR_WIN='C:\msi'
# What the package installs; it also carries its custom action, zonbekstate.dll.
MSI_FILES=(zonbeksvc.exe zonbekmsg.dll admin-guide.txt THIRD-PARTY-NOTICES.txt)
UNINSTALL_KEY='HKLM\Software\Microsoft\Windows\CurrentVersion\Uninstall'
# Wine's exit codes are Windows's modulo 256: ERROR_INSTALL_FAILURE (1603) reads 67.
# shellcheck disable=SC2034 # read by the tests
MSI_FAILED=$((1603 % 256))
MSI_STATUS=
MSI_LOG=
MSI_TRACE=
MSI_RUNS=0

# A fresh prefix with the Wine session running and nothing installed. A failing test also shows the
# end of the last msiexec log.
msi_begin() {
    e2e_begin
    trap msi_end EXIT
    mkdir -p "$(unix_path "$MSI_DIR_WIN")"
    session_start
}

msi_end() {
    local status=$?
    set +e
    if ((status != 0)) && [[ -f $MSI_LOG ]]; then
        printf '%s\n' "---- last lines of the msiexec log $MSI_LOG, without its list of properties ----" >&2
        tr -d '\r' <"$MSI_LOG" | grep -a -v '^Property(' | tail -n 30 >&2
    fi
    (exit "$status")
    e2e_end
}

# build_msi BUILD VERSION NAME: the package of BUILD's files (a windows preset build) as NAME in
# MSI_DIR_WIN.
build_msi() {
    local build=$1 version=$2 out file
    for file in "${MSI_FILES[@]}" zonbekstate.dll; do
        [[ -f $build/$file ]] || die "$build/$file is missing: build the windows preset first"
    done
    out="$(unix_path "$MSI_DIR_WIN")/$3"
    echo "\$ build-msi.sh $build $version $out" >>"$COMMAND_LOG"
    SOURCE_DATE_EPOCH=1700000000 "$REPO_DIR/packaging/build-msi.sh" "$build" "$version" "$out" \
        >>"$COMMAND_LOG" 2>&1 || die "build-msi.sh $build $version failed: $(tail -n 5 "$COMMAND_LOG")"
}

# build_version BUILD: the version that BUILD's zonbeksvc.exe carries (its FileVersion string), read
# through Wine's drive Z:, the Linux root.
build_version() {
    local program version
    program=$(install_test_program version_info.exe)
    version=$(wine_quiet "$program" "Z:${1//\//\\}\\zonbeksvc.exe" | sed -n 's/^FileVersion=//p') || true
    [[ $version =~ ^[0-9]+\.[0-9]+\.[0-9]+$ ]] || die "no version resource in $1/zonbeksvc.exe"
    echo "$version"
}

# msi_property NAME PROPERTY: a value of the package's Property table.
msi_property() {
    msiinfo export "$(unix_path "$MSI_DIR_WIN")/$1" Property | tr -d '\r' |
        awk -F '\t' -v name="$2" '$1 == name { print $2 }'
}

# run_msiexec ARGUMENTS [CHANNELS]: msiexec with ARGUMENTS (one string, as typed at a command prompt),
# without UI and with a verbose log (MSI_LOG). It runs from a batch file: cmd hands msiexec the line as
# it is, as on Windows, where Wine would otherwise re-quote each argument. Sets MSI_STATUS. With Wine
# debug CHANNELS (+msi), msiexec's trace goes to MSI_TRACE.
run_msiexec() {
    local script_win errors=$COMMAND_LOG
    MSI_RUNS=$((MSI_RUNS + 1))
    script_win="$MSI_DIR_WIN\\msiexec-$MSI_RUNS.cmd"
    MSI_LOG=$(unix_path "$MSI_DIR_WIN\\msiexec-$MSI_RUNS.log")
    MSI_TRACE=
    if [[ -n ${2:-} ]]; then
        MSI_TRACE=$(unix_path "$MSI_DIR_WIN\\msiexec-$MSI_RUNS.trace")
        errors=$MSI_TRACE
    fi
    printf '@echo off\r\nmsiexec %s /qn /l*v "%s"\r\nexit /b %%errorlevel%%\r\n' \
        "$1" "$MSI_DIR_WIN\\msiexec-$MSI_RUNS.log" >"$(unix_path "$script_win")"
    echo "\$ msiexec $1 /qn" >>"$COMMAND_LOG"
    MSI_STATUS=0
    WINEDEBUG=${2:--all} LC_ALL=C.UTF-8 fixed_layout timeout -k 5 "$HANG_SECONDS" wine "$script_win" >>"$COMMAND_LOG" \
        2>>"$errors" </dev/null || MSI_STATUS=$?
    [[ $MSI_STATUS -ne 124 ]] || die "msiexec $1 hung for ${HANG_SECONDS}s"
    echo "exit $MSI_STATUS" >>"$COMMAND_LOG"
}

# expect_msiexec STATUS WHAT: the last msiexec ended with STATUS.
expect_msiexec() {
    [[ $MSI_STATUS == "$1" ]] || fail "$2: msiexec ended with $MSI_STATUS instead of $1"
}

# product_version CODE: DisplayVersion of the product registered under CODE, or "missing".
product_version() {
    reg_value "$UNINSTALL_KEY\\$1" DisplayVersion | sed 's/^REG_SZ //'
}

# expect_msi_installed TOOL_DIR BUILD WHEN: the service, its event source and InstallDir as the package
# writes them, and BUILD's files in PACKAGE_WIN.
expect_msi_installed() {
    local dir=$1 build=$2 when=$3 image file
    [[ $(service_state) != missing ]] || fail "$when: the service zonbek does not exist"
    # Windows Installer quotes a path with spaces; Wine's msiexec writes it bare. Both name the program.
    image=$(reg_value "$SERVICE_KEY" ImagePath | cut -d' ' -f2-)
    [[ $image == "$PACKAGE_WIN\\zonbeksvc.exe" || $image == "\"$PACKAGE_WIN\\zonbeksvc.exe\"" ]] ||
        fail "$when: the service's ImagePath is [$image], not the installed zonbeksvc.exe"
    expect_registered "$dir" "$when"
    assert_eq "REG_DWORD 0x1" "$(reg_value "$SERVICE_KEY" ErrorControl)" "$when: the error control (normal)"
    assert_eq "REG_SZ LocalSystem" "$(reg_value "$SERVICE_KEY" ObjectName)" "$when: the service's account"
    assert_eq "REG_SZ Zonbek service" "$(reg_value "$SERVICE_KEY" DisplayName)" "$when: the display name"
    assert_eq "REG_SZ Keeps the Zonbek tool running in the background and reports its failures to the Application event log." \
        "$(reg_value "$SERVICE_KEY" Description)" "$when: the description"
    for file in "${MSI_FILES[@]}"; do
        cmp -s "$build/$file" "$(unix_path "$PACKAGE_WIN")/$file" ||
            fail "$when: $PACKAGE_WIN\\$file is missing or is not the one in $build"
    done
}

# expect_msi_not_installed PRODUCT_CODE WHEN: no service, event source, InstallDir, installed files or
# registered product.
expect_msi_not_installed() {
    local code=$1 when=$2
    expect_not_installed "$when"
    [[ ! -e $(unix_path "$PACKAGE_WIN") ]] ||
        fail "$when: $PACKAGE_WIN is still there: $(ls -A "$(unix_path "$PACKAGE_WIN")")"
    assert_eq missing "$(product_version "$code")" "$when: the product $code"
}
