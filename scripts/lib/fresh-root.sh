#!/usr/bin/env bash
# scripts/fresh-check runs this as the first process of a private mount and PID namespace (unshare):
# it mounts /proc, a minimal /dev, /tmp and the shared .deb cache into ROOT and runs COMMAND in the
# project's clone there, as root with nothing in the environment but VAR=VALUE.... The mounts live in the
# namespace alone and go with it, and every process left behind (wineserver) ends with this one.
# Usage: fresh-root.sh ROOT DEB_CACHE TMP_DIR COMMAND [VAR=VALUE...]
set -euo pipefail
root=$1 debs=$2 tmp=$3 command=$4
shift 4

mount -t proc proc "$root/proc"
# A /dev of its own, with the host's few harmless character devices and a pty instance of its own.
mount -t tmpfs -o mode=755,nosuid tmpfs "$root/dev"
for node in null zero full random urandom tty; do
    touch "$root/dev/$node"
    mount --bind "/dev/$node" "$root/dev/$node"
done
mkdir "$root/dev/pts" "$root/dev/shm"
mount -t devpts -o newinstance,ptmxmode=0666,mode=0620 devpts "$root/dev/pts"
mount -t tmpfs -o mode=1777,nosuid,nodev tmpfs "$root/dev/shm"
ln -s pts/ptmx "$root/dev/ptmx"
ln -s /proc/self/fd "$root/dev/fd"
ln -s /proc/self/fd/0 "$root/dev/stdin"
ln -s /proc/self/fd/1 "$root/dev/stdout"
ln -s /proc/self/fd/2 "$root/dev/stderr"
# /tmp on disk, as on a Debian 12 machine, and the same folder for every command of the run.
mount --bind "$tmp" "$root/tmp"
mount --bind "$debs" "$root/var/cache/apt/archives"

# Not exec'd: this shell stays the namespace's first process, so that its end ends all the others.
status=0
# shellcheck disable=SC2016 # the command is expanded in the root's shell
chroot "$root" /usr/bin/env -i "$@" /bin/bash -c 'cd /root/zonbek && eval "$1"' fresh-check "$command" || status=$?
exit "$status"
