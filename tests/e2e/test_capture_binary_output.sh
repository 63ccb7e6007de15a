#!/usr/bin/env bash
# Output that is not text. Bytes above 0x7F pass through as code page 1252 characters; a zero byte ends its
# line's string and a line that starts with one is dropped; CR and LF end lines and empty lines are
# dropped; only the last 4094 bytes count, a line cut where they begin keeps its end, and the last line
# keeps every byte written (the service adds its own line end after the data). A line of 2,000 bytes and
# one of 10,000 come through as far as the trace shows any string: its first 289 escaped characters,
# then "...".
. "$(dirname "${BASH_SOURCE[0]}")/lib.sh"
e2e_begin
setup_service

output=$E2E_WORK/output.bin
kept=$E2E_WORK/kept.bin
long=$(for _ in $(seq 200); do printf '0123456789'; done)
last='kept up to the last byte written'
{
    printf 'kept from here\r\n'
    printf 'caf\xe9 \x80\x9f\xff \x01\x7f end\r\n'
    printf 'zero\0hidden\r\n'
    printf '\0dropped with its first byte zero\n'
    printf '\r\n\n\r'
    printf '%s\n' "$long"
} >"$kept"
# Padding so that the kept part is exactly the last 4094 bytes; what comes before it is never kept.
padding=$((4094 - $(stat -c %s "$kept") - 2 - ${#last}))
{
    printf '%*s\r\n' "$padding" '' | tr ' ' p
    printf '%s' "$last"
} >>"$kept"
{
    printf 'NEVER SEEN\r\nNOR THIS\r\nNOR THE START OF THE NEXT LINE: '
    cat "$kept"
} >"$output"
assert_eq 4094 "$(($(stat -c %s "$output") - $(grep -abo 'kept from here' "$output" | cut -d: -f1)))" \
    "the bytes from the first one kept to the end"

tool_config "$(write_action "$output");exit 5"
start_service >/dev/null
wait_service_exit >/dev/null
expect_reports \
    "$(status START_PENDING 0 0 1 3000)" \
    "$(status RUNNING 1 0 0 0)" \
    "$(event 0xC0020003 'kept from here' $'caf\xe9 \x80\x9f\xff \x01\x7f end' zero "$long" "$(printf '%*s' "$padding" '' | tr ' ' p)" "$last")" \
    "$(status STOPPED 1 0 0 0)"
# The expected strings above went through the same model of the trace; pin two of them literally.
strings=$(service_reports | grep '^event ')
assert_match ' "kept from here" "caf\\00e9 \\20ac\\0178\\00ff \\0001\\007f end" "zero" "(0123456789){28}012345678"\.\.\. "p{289}"\.\.\. "kept up to the last byte written"$' \
    "$strings" "the strings as the trace shows them"

# One line of 10,000 bytes without a line end: its last 4094 bytes are the only string.
rm -f "$(tool_file zonbek.count)"
{ head -c 5906 /dev/zero | tr '\0' 'v' && head -c 4094 /dev/zero | tr '\0' 'w'; } >"$output"
tool_config "$(write_action "$output");exit 1"
start_service >/dev/null
wait_service_exit >/dev/null
expect_reports \
    "$(status START_PENDING 0 0 1 3000)" \
    "$(status RUNNING 1 0 0 0)" \
    "$(event 0xC0020003 "$(tail -c 4094 "$output")")" \
    "$(status STOPPED 1 0 0 0)"
