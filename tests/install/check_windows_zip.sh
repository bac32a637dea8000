#!/usr/bin/env bash
# Checks the Windows package as a user gets it. cpack in the mingw-w64 build
# makes one .zip and nothing else; unpacked into an empty folder, it holds
# one folder with dravont.exe, README.txt, LICENSE.txt and, when the build
# found groff or mandoc, MANUAL.txt, the texts with CRLF line ends;
# dravont.exe is stripped and imports only DLLs every Windows has; and under
# Wine the unpacked dravont.exe turns the COFF and the ELF sample into the
# same bytes as the Linux build does.
#   check_windows_zip.sh WINDOWS_BUILD_DIR LINUX_DRAVONT WORK_DIR
set -euo pipefail
build=$(cd "$1" && pwd)
linux_tool=$(cd "$(dirname "$2")" && pwd)/$(basename "$2")
source_dir=$(cd "$(dirname "$0")/../.." && pwd)
work=$3
objdump=x86_64-w64-mingw32-objdump

fail() {
    echo "check_windows_zip: $*"
    exit 1
}

wine=$(command -v wine64 || command -v wine) || fail "neither wine64 nor wine on PATH"
export WINEDEBUG=-all
command -v "$objdump" > /dev/null || fail "$objdump not found"
test -x "$linux_tool" || fail "no Linux build at $linux_tool"

rm -rf "$work"
mkdir -p "$work/pack" "$work/unpacked"
work=$(cd "$work" && pwd)

version=$(sed -n 's/^set(CPACK_PACKAGE_VERSION "\(.*\)")$/\1/p' "$build/CPackConfig.cmake")
[ -n "$version" ] || fail "no CPACK_PACKAGE_VERSION in $build/CPackConfig.cmake"

(cd "$work/pack" && cpack --config "$build/CPackConfig.cmake" > "$work/cpack.log") ||
    fail "cpack failed: $(cat "$work/cpack.log")"
made=$(cd "$work/pack" && find . -maxdepth 1 -type f | sort)
[ "$made" = "./dravont-$version-win64.zip" ] || fail "cpack made $(echo $made), not one .zip"

(cd "$work/unpacked" && cmake -E tar xf "$work/pack/dravont-$version-win64.zip")
top=$work/unpacked/dravont-$version-win64
[ "$(ls -A "$work/unpacked")" = "dravont-$version-win64" ] ||
    fail "the .zip does not hold one folder dravont-$version-win64: $(ls -A "$work/unpacked")"

expected="LICENSE.txt README.txt dravont.exe"
if grep -q '^DRAVONT_MAN_FORMATTER:FILEPATH=/' "$build/CMakeCache.txt"; then
    expected="LICENSE.txt MANUAL.txt README.txt dravont.exe"
fi
[ "$(cd "$top" && ls -A | LC_ALL=C sort | tr '\n' ' ')" = "$expected " ] ||
    fail "the folder holds $(cd "$top" && ls -A | tr '\n' ' '), not $expected"

# Every line ends with CR LF, the last one included.
crlf_text() {
    [ -s "$1" ] || fail "$1 is empty"
    ! grep -q -v $'\r$' "$1" || fail "$1 has lines without CR LF: $(grep -n -v $'\r$' "$1" | head -n 3)"
    [ "$(tail -c 2 "$1" | od -An -tx1 | tr -d ' \n')" = 0d0a ] || fail "$1 does not end with CR LF"
}
crlf_text "$top/README.txt"
crlf_text "$top/LICENSE.txt"
grep -q "^dravont $version for Windows"$'\r$' "$top/README.txt" || fail "README.txt does not name version $version"
cmp -s <(sed 's/$/\r/' "$source_dir/LICENSE") "$top/LICENSE.txt" || fail "LICENSE.txt is not LICENSE"
if [ -f "$top/MANUAL.txt" ]; then
    crlf_text "$top/MANUAL.txt"
    ! grep -q $'[\b\e]' "$top/MANUAL.txt" || fail "MANUAL.txt holds overstriking or terminal escapes"
    grep -q $'^SYNOPSIS\r$' "$top/MANUAL.txt" || fail "MANUAL.txt has no SYNOPSIS"
fi

exe=$top/dravont.exe
"$objdump" -t "$exe" | grep -q '^no symbols$' || fail "dravont.exe is not stripped"
dlls=$("$objdump" -p "$exe" | sed -n 's/^[[:space:]]*DLL Name: //p')
[ -n "$dlls" ] || fail "$objdump lists no imported DLL of dravont.exe"
while read -r dll; do
    case "${dll,,}" in
        kernel32.dll | msvcrt.dll | ucrtbase.dll | api-ms-win-*.dll | advapi32.dll | \
        user32.dll | shell32.dll | ws2_32.dll | bcrypt.dll | ntdll.dll) ;;
        *) fail "dravont.exe imports $dll, which Windows does not have (not linked statically?)" ;;
    esac
done <<< "$dlls"

# The first line names the version; the second the compressions it reads
# (no zstd in the Windows build).
[ "$("$wine" "$exe" --version | tr -d '\r' | head -n 1)" = "dravont $version" ] ||
    fail "the unpacked dravont.exe does not print version $version"

# As in README.txt: the input in a folder named with a backslash, no -o, so
# the outputs land beside it.
for sample in sample.coff sample.elf; do
    for side in windows linux; do
        mkdir -p "$work/$side/samples"
        cp "$source_dir/examples/$sample" "$work/$side/samples/"
    done
    (cd "$work/windows" && "$wine" "$exe" "samples\\$sample") > "$work/windows/$sample.log" ||
        fail "dravont.exe $sample failed: $(cat "$work/windows/$sample.log")"
    (cd "$work/linux" && "$linux_tool" "samples/$sample") > "$work/linux/$sample.log" ||
        fail "dravont $sample failed: $(cat "$work/linux/$sample.log")"
    for ext in sym lin; do
        out=samples/${sample%.*}.$ext
        [ -s "$work/linux/$out" ] || fail "the Linux build wrote no $out"
        cmp "$work/windows/$out" "$work/linux/$out" || fail "$out differs between Windows and Linux"
    done
    echo "$sample: the same .sym and .lin from the unpacked dravont.exe under Wine and on Linux"
done
echo "the .zip is complete: $(cd "$top" && ls | tr '\n' ' ')"
echo "dravont.exe imports only $(echo $dlls)"
