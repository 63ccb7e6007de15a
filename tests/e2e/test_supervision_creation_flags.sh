#!/usr/bin/env bash
# Wine does not let the tool see its priority class, so the CreateProcessA call itself is read from
# Wine's relay trace: application name, command line, handle inheritance, IDLE_PRIORITY_CLASS (0x40)
# and nothing else, the inherited environment and the installation directory.
. "$(dirname "${BASH_SOURCE[0]}")/lib.sh"
e2e_begin

relay_include 'kernel32.CreateProcessA;kernelbase.CreateProcessA'

setup_service +relay
tool_config "exit 0" "exit 2"
start_service
wait_service_exit

calls=$(service_lines call | grep '^CreateProcessA ' || true)
log "relayed calls:"$'\n'"$calls"
assert_eq 2 "$(grep -c . <<<"$calls")" "number of CreateProcessA calls"
# The relay prints whole registers; a 32-bit argument is only the low half of its register.
low32() { printf '0x%x' $((16#$1 & 0xffffffff)); }
while IFS= read -r call; do
    # application, command line, process and thread attributes, inherit, flags, environment, directory
    IFS=, read -r application command_line process_attributes thread_attributes inherit flags environment directory _ \
        <<<"${call#CreateProcessA }"
    assert_match ' "C:\\\\Program Files\\\\Kavix\\\\Zonbek\\\\zonbek.exe"$' "$application" "application name"
    assert_match ' "zonbek.exe --service"$' "$command_line" "command line"
    assert_match '^0+$' "$process_attributes" "process security attributes"
    assert_match '^0+$' "$thread_attributes" "thread security attributes"
    assert_eq 0x1 "$(low32 "$inherit")" "inherit handles"
    assert_eq 0x40 "$(low32 "$flags")" "creation flags"
    assert_match '^0+$' "$environment" "environment"
    assert_match ' "C:\\\\Program Files\\\\Kavix\\\\Zonbek"$' "$directory" "current directory"
done <<<"$calls"
