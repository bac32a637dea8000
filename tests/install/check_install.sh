#!/usr/bin/env bash
# Installs the build into a scratch prefix and packs it with CPack, then
# checks what landed where: the executable in bin/, the gzip-compressed man
# page in share/man/man1/, the copyright file in share/doc/dravont/, both in
# the .tar.gz and in the .deb; and that the .deb is what Debian expects: a
# stripped executable, the version --version prints, no lintian error.
#   check_install.sh BUILD_DIR WORK_DIR
set -euo pipefail
build=$(cd "$1" && pwd)
work=$2
source_dir=$(cd "$(dirname "$0")/../.." && pwd)
rm -rf "$work"
mkdir -p "$work"

fail() {
    echo "$*"
    exit 1
}

version=$(sed -n 's/^set(CPACK_PACKAGE_VERSION "\(.*\)")$/\1/p' "$build/CPackConfig.cmake")
[ -n "$version" ] || fail "no CPACK_PACKAGE_VERSION in $build/CPackConfig.cmake"

cmake --install "$build" --prefix "$work/prefix" > "$work/install.log"
test -x "$work/prefix/bin/dravont" || fail "bin/dravont missing"
[ "$("$work/prefix/bin/dravont" --version | head -n 1)" = "dravont $version" ] ||
    fail "installed tool does not print version $version"
"$work/prefix/bin/dravont" --version | grep -qx 'reads compressed debug sections: zlib\(, zstd\)\?' ||
    fail "installed tool does not say which compressed debug sections it reads"
test -f "$work/prefix/share/doc/dravont/copyright" || fail "share/doc/dravont/copyright missing"

# The man page: compressed with gzip -9n (no name, no time stamp, so the same
# page gives the same bytes), the page itself inside, formatting without
# warnings.
man_gz=$work/prefix/share/man/man1/dravont.1.gz
test -f "$man_gz" || fail "share/man/man1/dravont.1.gz missing"
cmp -s <(gzip -dc "$man_gz") "$source_dir/man/dravont.1" || fail "dravont.1.gz is not man/dravont.1"
# Header bytes 3..7: the flags (0x08 = a file name follows) and the time stamp.
[ "$(od -An -tx1 -j3 -N5 "$man_gz" | tr -d ' \n')" = "0000000000" ] ||
    fail "dravont.1.gz carries a file name or a time stamp (not gzip -n)"
if command -v groff > /dev/null; then
    warnings=$(gzip -dc "$man_gz" | groff -man -Tutf8 -ww -z 2>&1)
    [ -z "$warnings" ] || fail "man page warnings: $warnings"
fi

(cd "$work" && cpack --config "$build/CPackConfig.cmake" -G TGZ > cpack-tgz.log)
tarball=$(ls "$work"/dravont-*.tar.gz)
listing=$(tar tzf "$tarball")
for f in bin/dravont share/man/man1/dravont.1.gz share/doc/dravont/copyright; do
    grep -q "/$f\$" <<< "$listing" || fail "$f missing from $tarball"
done

# The build leaves the .deb out where it cannot make a correct one.
if command -v dpkg-deb > /dev/null && grep -q '^set(CPACK_GENERATOR ".*DEB' "$build/CPackConfig.cmake"; then
    (cd "$work" && cpack --config "$build/CPackConfig.cmake" -G DEB > cpack-deb.log)
    deb=$(ls "$work"/dravont_*.deb)
    contents=$(dpkg-deb -c "$deb")
    for f in ./usr/bin/dravont ./usr/share/man/man1/dravont.1.gz \
             ./usr/share/doc/dravont/copyright ./usr/share/doc/dravont/changelog.gz; do
        grep -q " $f\$" <<< "$contents" || fail "$f missing from $deb"
    done
    [ "$(dpkg-deb -f "$deb" Package)" = "dravont" ] || fail "wrong package name"
    [ "$(dpkg-deb -f "$deb" Version)" = "$version" ] || fail "package version is not $version"
    dpkg-deb -x "$deb" "$work/deb"
    if command -v readelf > /dev/null; then
        readelf -S "$work/deb/usr/bin/dravont" > "$work/sections.txt"
        ! grep -q '\.symtab' "$work/sections.txt" || fail "usr/bin/dravont in $deb is not stripped"
    fi
    if command -v lintian > /dev/null; then
        lintian --fail-on error "$deb" > "$work/lintian.log" 2>&1 ||
            fail "lintian: $(cat "$work/lintian.log")"
    fi
    echo "install tree, .tar.gz and .deb are complete"
else
    echo "install tree and .tar.gz are complete; no .deb made or no dpkg-deb to read it"
fi
