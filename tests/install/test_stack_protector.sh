#!/usr/bin/env bash
# The stack protector as zonbeksvc.exe has it (zonbek_hardening, src/load_config.cpp), in a program built
# the same way: a routine that writes past its stack buffer ends the process with
# STATUS_STACK_BUFFER_OVERRUN before it returns, one that stays inside returns, and every process
# compares against its own random cookie. Wine ignores Control Flow Guard and CET; only Windows shows them.
. "$(dirname "${BASH_SOURCE[0]}")/lib.sh"
e2e_begin
program=$(install_test_program stack_protector.exe)

# The child shares the parent's output.
assert_lines "8 bytes into the 8-byte buffer" "$(wine_quiet "$program" run 8)" "returned x" "exit=0x00000000"
assert_lines "64 bytes into the 8-byte buffer (STATUS_STACK_BUFFER_OVERRUN)" "$(wine_quiet "$program" run 64)" \
    "exit=0xC0000409"

first=$(wine_quiet "$program" cookie)
second=$(wine_quiet "$program" cookie)
[[ $first =~ ^[0-9a-f]+$ && $second =~ ^[0-9a-f]+$ ]] || fail "no cookie printed: [$first] [$second]"
[[ $first != 2b992ddfa232 && $second != 2b992ddfa232 ]] || fail "a process kept the default cookie 2b992ddfa232"
[[ $first != "$second" ]] || fail "two processes had the same cookie $first"
