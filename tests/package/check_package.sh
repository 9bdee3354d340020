#!/usr/bin/env bash
# Builds the Debian package from a built tree, checks its control fields and
# its file list, unpacks it into a private root and runs the programs from
# there: the version, and a capture equal to the build tree's own.
#
# Usage: check_package.sh BUILD_DIR WORK_DIR VERSION
set -u

build=$1
work=$2
version=$3
# shellcheck source=../lib/check.sh
. "$(dirname "$0")/../lib/check.sh"
checkFiles=("$work/cpack.log")

rm -rf "$work"
mkdir -p "$work"
cpack -G DEB --config "$build/CPackConfig.cmake" -B "$work/out" > "$work/cpack.log" 2>&1 ||
    fail "cpack failed"
debs=("$work"/out/shadestrip_*.deb)
[ ${#debs[@]} -eq 1 ] && [ -f "${debs[0]}" ] || fail "expected one shadestrip_*.deb in $work/out"
deb=${debs[0]}

# --- Control fields ---
field() { dpkg-deb -f "$deb" "$1"; }
[ "$(field Package)" = shadestrip ] || fail "Package: $(field Package)"
[ "$(field Version)" = "$version" ] || fail "Version: $(field Version), expected $version"
[ "$(field Section)" = games ] || fail "Section: $(field Section)"
[ "$(field Architecture)" = "$(dpkg --print-architecture)" ] || fail "Architecture: $(field Architecture)"
field Maintainer | grep -q '<.*@.*>' || fail "Maintainer has no address: $(field Maintainer)"
depends=$(field Depends)
# Worked out from the programs' libraries, not written by hand.
for library in libc6 libstdc++6 libsdl2-2.0-0; do
    grep -q "\b$library\b" <<< "$depends" || fail "Depends lacks $library: $depends"
done
description=$(field Description)
grep -q "MIT licence" <<< "$description" || fail "the description does not name the MIT licence"
grep -q "CC BY 4.0" <<< "$description" || fail "the description does not name CC BY 4.0"
dpkg-deb -I "$deb" > "$work/info.txt" || fail "dpkg-deb -I failed"

# --- File list ---
dpkg-deb -c "$deb" | awk '$1 !~ /^d/ { print $6 }' | sort > "$work/files.txt"
for file in ./usr/bin/shadestrip ./usr/bin/shadestrip-capture \
    ./usr/share/man/man6/shadestrip.6.gz ./usr/share/man/man1/shadestrip-capture.1.gz \
    ./usr/share/doc/shadestrip/copyright ./usr/share/doc/shadestrip/README.md \
    ./usr/share/doc/shadestrip/LICENSE ./usr/share/doc/shadestrip/LICENSE.resources \
    ./usr/share/doc/shadestrip/changelog.gz; do
    grep -qxF "$file" "$work/files.txt" || fail "the package lacks $file"
done
allowed='^\./usr/(bin/shadestrip[^/]*|share/man/man[16]/[^/]+\.gz|share/doc/shadestrip/[^/]+'
allowed+='|share/lintian/overrides/shadestrip)$'
stray=$(grep -vE "$allowed" "$work/files.txt")
[ -z "$stray" ] || fail "files that do not belong in the package: $stray"
dpkg-deb -c "$deb" | awk '$1 !~ /^d/ && $2 != "root/root" { bad = 1 } END { exit bad }' ||
    fail "files not owned by root"

# --- Unpacked and run ---
root=$work/root
dpkg -x "$deb" "$root" || fail "dpkg -x failed"
for program in "$root"/usr/bin/*; do
    [ -x "$program" ] || fail "$program is not executable"
    ! readelf -S "$program" | grep -q '\.debug_info' || fail "$program is not stripped"
    ! ldd "$program" | grep -q 'not found' || fail "$program misses a library: $(ldd "$program")"
done
changes=$(zcat "$root/usr/share/doc/shadestrip/changelog.gz" | head -n 1)
[ "${changes#shadestrip ($version) }" != "$changes" ] || fail "the changelog starts: $changes"
first=$("$root/usr/bin/shadestrip" --version < /dev/null | head -n 1)
[ "$first" = "shadestrip (Shade Strip) $version" ] || fail "--version says: $first"

capture() { "$1" --at 3.5 --fps 20 --format cells --out "$2" 2> /dev/null < /dev/null; }
capture "$root/usr/bin/shadestrip-capture" "$work/packaged.cells" || fail "the packaged capture failed"
capture "$build/src/platform/headless/capture/shadestrip-capture" "$work/built.cells" ||
    fail "the build tree's capture failed"
[ "$(stat -c %s "$work/packaged.cells")" -eq 8000 ] || fail "the capture is not 8000 bytes"
cmp -s "$work/packaged.cells" "$work/built.cells" || fail "the packaged capture differs from the build's"

for page in "$root"/usr/share/man/man*/*.gz; do
    lexgrog "$page" > /dev/null || fail "lexgrog cannot read $page"
done

echo "PASS: $(basename "$deb") ($(stat -c %s "$deb") bytes), Depends: $depends"
