#!/bin/sh
# Builds the program twice from the same sources, as the release preset
# builds it, in two new build folders of different names, one after the
# other, and compares the two programs and, where cpack can make them, the
# two Debian packages: one commit builds one program and one package,
# whatever the folder and the time of the build.
#   TOLVANE_REPRODUCIBLE_TEST=1 reproducible.sh SOURCE_DIR [RELEASE_BUILD_DIR]
# Given a build folder of the release preset whose program is built, it
# builds only once more, in a new folder, and compares with that one (CI
# does so after its release build). Two release builds of the program take
# minutes on two cores: unless TOLVANE_REPRODUCIBLE_TEST=1, the test suite
# skips it.
set -eu
if [ "${TOLVANE_REPRODUCIBLE_TEST:-}" != 1 ]; then
    echo "skipped: two release builds take minutes; TOLVANE_REPRODUCIBLE_TEST=1 runs them (CI does)"
    exit 77
fi
for tool in cmake ninja git sha256sum cmp; do
    if ! command -v "$tool" >/dev/null 2>&1; then
        echo "skipped: $tool is not installed (scripts/deps.sh installs it)"
        exit 77
    fi
done
source=$(cd "$1" && pwd)
work=$(mktemp -d "${TMPDIR:-/tmp}/tolvane-reproducible-XXXXXX")
trap 'rm -rf "$work"' EXIT
fail() {
    echo "FAIL: $*"
    exit 1
}

# The release preset's settings; warnings are no errors here, they change no
# byte of the program.
build() {
    dir=$1
    (cd "$source" && cmake --preset release -B "$dir" -DTOLVANE_WERROR=OFF) >"$dir.log" 2>&1 ||
        { cat "$dir.log"; fail "$dir: cmake could not configure the build"; }
    start=$(date +%s)
    cmake --build "$dir" --target tolvane >>"$dir.log" 2>&1 ||
        { tail -n 50 "$dir.log"; fail "$dir: the program did not build"; }
    echo "$(basename "$dir"): built in $(($(date +%s) - start)) s"
}
if [ $# -ge 2 ]; then
    one=$(cd "$2" && pwd)
    [ -f "$one/src/app/tolvane" ] || fail "$one/src/app/tolvane is not built"
    grep -q '^CMAKE_BUILD_TYPE:STRING=Release$' "$one/CMakeCache.txt" ||
        fail "$one is not a build of the release preset"
else
    one="$work/one"
    build "$one"
fi
two="$work/build-two"
build "$two"

first="$one/src/app/tolvane"
second="$two/src/app/tolvane"
sha256sum "$first" "$second"
if ! cmp -s "$first" "$second"; then
    cmp "$first" "$second" | head -n 5 || true
    fail "two builds of the same sources made two different programs"
fi

if ! command -v cpack >/dev/null 2>&1 || ! command -v dpkg-shlibdeps >/dev/null 2>&1; then
    echo "programs identical; packages not compared: cpack or dpkg-shlibdeps is not installed"
    exit 0
fi
for dir in "$one" "$two"; do
    name=$(basename "$dir")
    cpack --config "$dir/CPackConfig.cmake" -G DEB -B "$work/package-$name" \
        >"$work/cpack-$name.log" 2>&1 ||
        { cat "$work/cpack-$name.log"; fail "cpack did not build the package of $dir"; }
done
first=$(ls "$work/package-$(basename "$one")"/tolvane_*.deb)
second=$(ls "$work/package-$(basename "$two")"/tolvane_*.deb)
sha256sum "$first" "$second"
if ! cmp -s "$first" "$second"; then
    for deb in "$first" "$second"; do
        echo "$deb:"
        dpkg-deb -c "$deb"
        dpkg-deb -I "$deb"
    done
    fail "two builds of the same sources made two different packages"
fi
echo "programs and packages identical"
