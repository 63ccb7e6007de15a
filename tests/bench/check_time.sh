#!/usr/bin/env bash
# What the check of the tool's folder costs a start under Wine: from the first start-pending report to
# the making of the pipe's descriptor, which follows the check, in the relay trace's millisecond
# timestamps. The usual path: the tool, no DLL, InstallDir, two folders above and C:\, and a
# ToolFolderTrust of two entries. ZONBEK_CHECK_STARTS sets the number of starts (default 10).
# shellcheck source=../e2e/lib.sh
. "$(dirname "${BASH_SOURCE[0]}")/../e2e/lib.sh"
e2e_begin
relay_include 'advapi32.SetServiceStatus;advapi32.ConvertStringSecurityDescriptorToSecurityDescriptorA'
setup_service +relay,+timestamp
tool_config "exit 4"
wine_quiet reg add "$INSTALL_KEY" /v ToolFolderTrust /t REG_MULTI_SZ /d 'S-1-5-32-551\0S-1-5-21-1-2-3-512' /f >/dev/null

times=()
for _ in $(seq "${ZONBEK_CHECK_STARTS:-10}"); do
    : >"$TRACE"
    start_service >/dev/null
    wait_service_exit >/dev/null
    pid=$(printf '%04x' "$SERVICE_PID")
    times+=("$(grep -a -E "^[0-9.]+:$pid:[0-9a-f]+:Call advapi32\.(SetServiceStatus|ConvertStringSecurityDescriptorToSecurityDescriptorA)\(" "$TRACE" |
        head -n 2 | awk -F: '{ t[NR] = $1 } END { if (NR == 2) printf "%.0f\n", (t[2] - t[1]) * 1000 }')")
done
[[ ${#times[@]} -gt 0 && -n ${times[0]} ]] || die "no timestamps of the check in the trace"
printf '%s\n' "${times[@]}" | sort -n | awk '{ v[NR] = $1 } END {
    printf "check of the tool folder: median %d ms, %d to %d ms over %d starts\n", v[int((NR + 1) / 2)], v[1], v[NR], NR }'
