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
    WINEDLLOVERRIDES=$overrides WINEDEBUG=-all LC_ALL=C.UTF-8 timeout -k 5 "$HANG_SECONDS" \
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

# reg_value KEY NAME: prints "TYPE DATA" as reg query shows it, or "missing".
reg_value() {
    local out status=0
    out=$(WINEDEBUG=-all timeout -k 5 "$HANG_SECONDS" wine reg query "$1" /v "$2" 2>/dev/null) || status=$?
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
    WINEDEBUG=-all timeout -k 5 "$HANG_SECONDS" wine reg query "$1" >/dev/null 2>&1 || status=$?
    [[ $status -ne 124 ]] || die "reg query $1 hung"
    return "$status"
}

# expect_installed TOOL_DIR WHEN: the service and the registry as install.cmd leaves them.
expect_installed() {
    local dir=$1 when=$2
    [[ $(service_state) != missing ]] || fail "$when: the service zonbek does not exist"
    assert_eq "\"$PACKAGE_WIN\\zonbeksvc.exe\"" "$(reg_value "$SERVICE_KEY" ImagePath | cut -d' ' -f2-)" \
        "$when: the service's ImagePath"
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
