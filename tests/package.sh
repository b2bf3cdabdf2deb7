#!/bin/sh
# Builds the Debian package of this build and inspects it: the files in their
# freedesktop places, a Depends line made from the linked libraries, a valid
# desktop entry whose command and icon the package holds, and a program that
# starts from where the package puts it.
#   package.sh BUILD_DIR
set -eu
build=$1
for tool in cpack dpkg-deb dpkg-shlibdeps desktop-file-validate; do
    if ! command -v "$tool" >/dev/null 2>&1; then
        echo "skipped: $tool is not installed (scripts/deps.sh installs it)"
        exit 77
    fi
done
work=$(mktemp -d "${TMPDIR:-/tmp}/tolvane-package-XXXXXX")
trap 'rm -rf "$work"' EXIT
fail() {
    echo "FAIL: $*"
    exit 1
}

cpack --config "$build/CPackConfig.cmake" -G DEB -B "$work/out" >"$work/cpack.log" 2>&1 ||
    { cat "$work/cpack.log"; fail "cpack did not build the package"; }
deb=$(ls "$work"/out/tolvane_*.deb 2>/dev/null | head -n 1)
[ -n "$deb" ] || fail "no tolvane_*.deb in $work/out"
echo "package: $(basename "$deb")"

dpkg-deb -c "$deb" | awk '{print $NF}' >"$work/files"
for path in ./usr/bin/tolvane ./usr/share/applications/tolvane.desktop \
    ./usr/share/man/man1/tolvane.1.gz; do
    grep -qx "$path" "$work/files" || fail "$path is not in the package"
done
for size in 16 24 32 48 64 128 256; do
    grep -qx "./usr/share/icons/hicolor/${size}x${size}/apps/tolvane.png" "$work/files" ||
        fail "no ${size}x${size} icon in the package"
done
if grep -q -e '^./usr/include' -e '\.a$' -e 'test_' -e 'bench_' "$work/files"; then
    fail "the package holds files of the build, not of the program"
fi

depends=$(dpkg-deb -f "$deb" Depends)
echo "Depends: $depends"
for library in libc6 libstdc++6 libqt6core6 libqt6gui6 libqt6widgets6 libjpeg62-turbo \
    libavformat59 libavcodec59 libavutil57 libswscale6; do
    echo "$depends" | grep -q "\\b$library\\b" || fail "Depends does not name $library"
done
[ "$(dpkg-deb -f "$deb" Section)" = video ] || fail "the section is not video"

dpkg-deb -x "$deb" "$work/root"
desktop="$work/root/usr/share/applications/tolvane.desktop"
desktop-file-validate "$desktop" || fail "the desktop entry does not validate"
grep -qx 'Categories=AudioVideo;Video;' "$desktop" || fail "the desktop entry's categories"
exec_name=$(sed -n 's/^Exec=\([^ ]*\).*/\1/p' "$desktop")
[ -x "$work/root/usr/bin/$exec_name" ] || fail "Exec=$exec_name is not a program of the package"
icon=$(sed -n 's/^Icon=//p' "$desktop")
[ -f "$work/root/usr/share/icons/hicolor/48x48/apps/$icon.png" ] || fail "Icon=$icon has no file"
gzip -t "$work/root/usr/share/man/man1/tolvane.1.gz" || fail "the man page is not gzip"

"$work/root/usr/bin/tolvane" --help >"$work/help" || fail "the packaged program does not start"
grep -q '^Usage: tolvane' "$work/help" || fail "the packaged program's help"
echo "package checked"
