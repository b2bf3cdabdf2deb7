#!/bin/sh
# Runs the real-mount test: in a mount namespace of its own, a small tmpfs is
# mounted on a fresh folder, and the test finds it through the real mount
# table. Needs root and unshare; elsewhere it says why and is skipped (77).
#   realmount.sh TEST_EXECUTABLE
set -eu
test_app=$1
if [ "$(id -u)" -ne 0 ]; then
    echo "skipped: needs root for a mount namespace and a tmpfs"
    exit 77
fi
if ! command -v unshare >/dev/null 2>&1; then
    echo "skipped: no unshare here"
    exit 77
fi
mountpoint=$(mktemp -d "${TMPDIR:-/tmp}/tolvane-volume-XXXXXX")
trap 'rmdir "$mountpoint"' EXIT
status=0
unshare -m --propagation private sh -c '
    mount -t tmpfs -o size=64m tolvane-test "$1" || { echo "skipped: tmpfs cannot be mounted"; exit 77; }
    TOLVANE_TEST_MOUNT="$1" exec "$2" --gtest_filter="RealMount.*"
' sh "$mountpoint" "$test_app" || status=$?
exit "$status"
