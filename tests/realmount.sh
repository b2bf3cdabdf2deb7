#!/bin/sh
# Runs the real-mount tests: in a mount namespace of its own, a small tmpfs is
# mounted on a fresh folder, and the tests find it through the real mount
# table. With "fuse", the tests also mount FUSE volumes that stop answering,
# which needs /dev/fuse. Needs root and unshare; elsewhere it says why and is
# skipped (77).
#   realmount.sh TEST_EXECUTABLE [TEST_FILTER [fuse]]
set -eu
test_app=$1
filter=${2:-RealMount.*}
fuse=${3:-}
if [ "$(id -u)" -ne 0 ]; then
    echo "skipped: needs root for a mount namespace and a tmpfs"
    exit 77
fi
if ! command -v unshare >/dev/null 2>&1; then
    echo "skipped: no unshare here"
    exit 77
fi
if [ "$fuse" = fuse ]; then
    [ -c /dev/fuse ] || modprobe fuse 2>/dev/null || true
    if [ ! -c /dev/fuse ]; then
        echo "skipped: no /dev/fuse, and the fuse module cannot be loaded here"
        exit 77
    fi
fi
mountpoint=$(mktemp -d "${TMPDIR:-/tmp}/tolvane-volume-XXXXXX")
trap 'rmdir "$mountpoint"' EXIT
status=0
unshare -m --propagation private sh -c '
    mount -t tmpfs -o size=64m tolvane-test "$1" || { echo "skipped: tmpfs cannot be mounted"; exit 77; }
    TOLVANE_TEST_MOUNT="$1" TOLVANE_TEST_FUSE="$4" exec "$2" --gtest_filter="$3"
' sh "$mountpoint" "$test_app" "$filter" "$fuse" || status=$?
exit "$status"
