#!/usr/bin/env bash
# Installs the build into a scratch prefix and packs it with CPack, then
# checks what landed where: the executable in bin/, the man page in
# share/man/man1/, both in the .tar.gz and in the .deb.
#   check_install.sh BUILD_DIR WORK_DIR
set -euo pipefail
build=$1
work=$2
rm -rf "$work"
mkdir -p "$work"

cmake --install "$build" --prefix "$work/prefix" > "$work/install.log"
test -x "$work/prefix/bin/dravont" || { echo "bin/dravont missing"; exit 1; }
test -f "$work/prefix/share/man/man1/dravont.1" || { echo "share/man/man1/dravont.1 missing"; exit 1; }
[ "$("$work/prefix/bin/dravont" --version)" = "dravont 1.03" ] || { echo "installed tool does not run"; exit 1; }

# The man page must format without warnings.
if command -v groff > /dev/null; then
    warnings=$(groff -man -Tutf8 -ww -z "$work/prefix/share/man/man1/dravont.1" 2>&1)
    [ -z "$warnings" ] || { echo "man page warnings: $warnings"; exit 1; }
fi

(cd "$work" && cpack --config "$build/CPackConfig.cmake" -G TGZ > cpack-tgz.log)
tarball=$(ls "$work"/dravont-*.tar.gz)
listing=$(tar tzf "$tarball")
for f in bin/dravont share/man/man1/dravont.1; do
    grep -q "/$f\$" <<< "$listing" || { echo "$f missing from $tarball"; exit 1; }
done

if command -v dpkg-deb > /dev/null; then
    (cd "$work" && cpack --config "$build/CPackConfig.cmake" -G DEB > cpack-deb.log)
    deb=$(ls "$work"/dravont_*.deb)
    contents=$(dpkg-deb -c "$deb")
    for f in ./usr/bin/dravont ./usr/share/man/man1/dravont.1; do
        grep -q " $f\$" <<< "$contents" || { echo "$f missing from $deb"; exit 1; }
    done
    [ "$(dpkg-deb -f "$deb" Package)" = "dravont" ] || { echo "wrong package name"; exit 1; }
fi
echo "install tree, .tar.gz and .deb are complete"
