#!/usr/bin/env bash
# zonbekmsg.dll, loaded as a data file the way Event Viewer loads it, formats each event with the
# insertion strings the service sends into the text an administrator should read (format_messages.exe
# holds those texts and the checks).
. "$(dirname "${BASH_SOURCE[0]}")/lib.sh"
package_begin
program=$(install_test_program format_messages.exe)

status=0
out=$(wine_quiet "$program" "$PACKAGE_WIN\\zonbekmsg.dll") || status=$?
log "FormatMessageA under Wine:"$'\n'"$out"
assert_eq 0 "$status" "format_messages.exe's exit code"
assert_eq "---- all messages as expected" "$(tail -n 1 <<<"$out")" "format_messages.exe's last line"
