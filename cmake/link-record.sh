#!/usr/bin/env bash
# Linker launcher: link-record.sh RECORD LINK-COMMAND... runs a link that asks lld to be verbose
# (-Wl,--verbose, or /verbose for lld-link) and keeps in RECORD what lld says it read and loaded: every
# object and archive it read, and every archive member it took with the symbol it took it for. The
# link map names only the members that define a symbol; lld loads some that define none (libgcc's
# _ctors.o). packaging/third-party.py makes the notices and the SBOM from RECORD. What else lld
# says, errors and warnings, goes on to standard error, without its verbose chatter.
set -uo pipefail
record=$1
shift
"$@" 2>"$record.log"
status=$?
sed -nE 's/^[^ ]+: ((Reading|Loaded) )/\1/p' "$record.log" >"$record"
grep -vE '^[^ ]+: ([A-Z]|ghash |  )|^lld-link |^$' "$record.log" >&2
rm -f "$record.log"
exit "$status"
