#!/usr/bin/env bash
# Runs `.ci/run` as CI does, on a clean clone of this checkout's committed HEAD, inside a fresh
# Debian 12 root that has nothing but the minimal base system: every package the build and the
# tests need must then come from ./setup.sh. Run it after any change to set-up or to what the
# tests use. As root (debootstrap and chroot need it):
#   tools/fresh-debian-ci.sh [ROOT]     ROOT defaults to /var/tmp/zentavo-fresh-root
# DEBIAN_MIRROR chooses the mirror; KEEP_ROOT=1 leaves the root in place afterwards.
# Exits with .ci/run's own status.
set -euo pipefail

root=${1:-/var/tmp/zentavo-fresh-root}
mirror=${DEBIAN_MIRROR:-http://deb.debian.org/debian}
repo=$(git -C "$(dirname "$0")" rev-parse --show-toplevel)

if [ "$(id -u)" -ne 0 ]; then
    echo "$0: run as root (debootstrap and chroot need it)" >&2
    exit 2
fi
if ! command -v debootstrap >/dev/null; then
    DEBIAN_FRONTEND=noninteractive apt-get install -y --no-install-recommends debootstrap
fi

unmount_all() {
    local point
    for point in dev/pts dev sys proc; do
        mountpoint -q "$root/$point" && umount -l "$root/$point"
    done
    return 0
}
finish() {
    unmount_all
    [ "${KEEP_ROOT:-0}" = 1 ] || rm -rf --one-file-system "$root"
}

if [ -e "$root" ]; then
    unmount_all
    rm -rf --one-file-system "$root"
fi
trap finish EXIT

started=$(date +%s)
debootstrap --variant=minbase bookworm "$root" "$mirror"
cat >"$root/etc/apt/sources.list" <<SOURCES
deb $mirror bookworm main
deb $mirror bookworm-updates main
deb http://deb.debian.org/debian-security bookworm-security main
SOURCES
cp /etc/resolv.conf "$root/etc/resolv.conf"
mount -t proc proc "$root/proc"
mount -t sysfs sys "$root/sys"
mount --bind /dev "$root/dev"
mount --bind /dev/pts "$root/dev/pts"

# Only what is committed reaches CI, so only what is committed is cloned.
git clone --quiet "$repo" "$root/src/zentavo"
bootstrapped=$(date +%s)

status=0
chroot "$root" /usr/bin/env -i HOME=/root LANG=C.UTF-8 TERM=dumb \
    PATH=/usr/local/sbin:/usr/local/bin:/usr/sbin:/usr/bin:/sbin:/bin \
    bash -c 'cd /src/zentavo && bash .ci/run' || status=$?
finished=$(date +%s)

echo "fresh Debian 12 root: debootstrap $((bootstrapped - started)) s, .ci/run $((finished - bootstrapped)) s," \
    "exit status $status"
exit "$status"
