#!/usr/bin/env bash
# How output becomes strings: lines end at CR or at LF, empty lines are dropped, a zero byte ends its
# line's string, characters the trace must escape come through, and the service writes CR LF after
# the data, so that a last line loses none of its characters ("last", ended by a lone LF).
. "$(dirname "${BASH_SOURCE[0]}")/lib.sh"
e2e_begin
setup_service
tool_config 'write a\r\n\r\nb\0hidden\nquote " and back\\slash\rlast\n;exit 2'

start_service
wait_service_exit
expect_reports \
    "$(status START_PENDING 0 0 1 3000)" \
    "$(status RUNNING 1 0 0 0)" \
    "$(event 0xC0020003 a b 'quote " and back\slash' last)" \
    "$(status STOPPED 1 0 0 0)"
