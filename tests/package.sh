#!/bin/sh
# Builds the Debian package of this build and inspects it: the files in their
# freedesktop places, a Depends line made from the linked libraries, a valid
# desktop entry whose command and icon the package holds, and a program that
# starts from where the package puts it, hardened as the build sets it up
# (PIE, full RELRO, stack protector; fortified calls in optimised builds).
#   package.sh BUILD_DIR
set -eu
build=$1
for tool in cpack dpkg-deb dpkg-shlibdeps desktop-file-validate readelf; do
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
# Names without their versions, one a line. Library packages carry their
# soname's version in their name, and a new Debian may rename them (the
# t64 packages): the names are checked by pattern.
echo "$depends" | tr ',|' '\n\n' | sed 's/^ *//; s/ .*//' >"$work/depends"
for library in 'libc6' 'libstdc\+\+6' 'libqt6core6(t64)?' 'libqt6gui6(t64)?' \
    'libqt6widgets6(t64)?' 'libjpeg62-turbo' 'libavformat[0-9]+(t64)?' 'libavcodec[0-9]+(t64)?' \
    'libavutil[0-9]+(t64)?' 'libswscale[0-9]+(t64)?'; do
    grep -Eqx "$library" "$work/depends" || fail "Depends names no package like $library"
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

# The packaged program as the compiler and the linker hardened it, unless
# the build was made without hardening.
program="$work/root/usr/bin/tolvane"
cache="$build/CMakeCache.txt"
if grep -Eq '^TOLVANE_HARDEN:BOOL=(OFF|FALSE|0)$' "$cache"; then
    echo "not hardened: built with TOLVANE_HARDEN=OFF"
else
    readelf -h "$program" >"$work/header"
    readelf -d "$program" >"$work/dynamic"
    readelf -lW "$program" >"$work/segments"
    readelf --dyn-syms -W "$program" >"$work/symbols"
    grep -Eq 'Type: +DYN' "$work/header" && grep -Eq '\(FLAGS_1\).* PIE( |$)' "$work/dynamic" ||
        fail "the program is not position-independent (PIE)"
    grep -Eq '\(BIND_NOW\)|\(FLAGS\).* BIND_NOW( |$)|\(FLAGS_1\).* NOW( |$)' "$work/dynamic" ||
        fail "the program's symbols are not bound at start (BIND_NOW)"
    grep -q ' GNU_RELRO ' "$work/segments" || fail "the program has no read-only relocations (GNU_RELRO)"
    grep -q ' __stack_chk_fail' "$work/symbols" || fail "the program has no stack protector"
    # The checked calls come with the optimiser and go without the sanitizers.
    build_type=$(sed -n 's/^CMAKE_BUILD_TYPE:[A-Z]*=//p' "$cache")
    sanitized=$(sed -n 's/^TOLVANE_\(SANITIZE\|FUZZ\):BOOL=\(ON\|TRUE\|1\)$/\1/p' "$cache")
    case "$build_type" in
    Release | RelWithDebInfo | MinSizeRel) optimised=yes ;;
    *) optimised= ;;
    esac
    if [ -n "$optimised" ] && [ -z "$sanitized" ]; then
        grep -Eq ' __[a-z0-9_]+_chk(@| |$)' "$work/symbols" ||
            fail "the program calls no fortified function (_FORTIFY_SOURCE)"
        echo "hardened: PIE, BIND_NOW, RELRO, stack protector, fortified calls"
    else
        echo "hardened: PIE, BIND_NOW, RELRO, stack protector" \
            "(${build_type:-no build type}${sanitized:+, $sanitized}: no fortified calls)"
    fi
fi

"$program" --help >"$work/help" || fail "the packaged program does not start"
grep -q '^Usage: tolvane' "$work/help" || fail "the packaged program's help"
echo "package checked"
