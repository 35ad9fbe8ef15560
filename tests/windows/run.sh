#!/bin/sh
# The Windows build under Wine: its executables need no DLL beyond the
# system's, the banner shows the version resource's values, and the golden
# cases pass: those of tests/golden/cases/ (the Linux expectations, turned
# into Windows ones by transform.pl, except the few listed in skip) and the
# Windows-only ones here.
#   sh tests/windows/run.sh BUILD_DIR
root=$(cd "$(dirname "$0")/../.." && pwd)
here=$root/tests/windows
build=$(cd "$1" && pwd) || exit 1
exe=$build/wavtrex.exe
wine=${WINE:-wine}
export WINEPREFIX="${WINEPREFIX:-$build/wine}" WINEARCH=win64 WINEDEBUG=-all
# A console program needs neither Mono nor Gecko, and offering them would stall.
export WINEDLLOVERRIDES="mscoree,mshtml="
scratch=$(mktemp -d) || exit 1
trap 'rm -rf "$scratch"' EXIT
failed=0

for program in "$build"/*.exe; do
    for dll in $(x86_64-w64-mingw32-objdump -p "$program" | sed -n 's/^\tDLL Name: //p'); do
        case $(echo "$dll" | tr 'A-Z' 'a-z') in
        kernel32.dll | msvcrt.dll | version.dll | advapi32.dll | user32.dll | shell32.dll) ;;
        *) echo "FAILED: $(basename "$program") needs $dll"; failed=$((failed + 1)) ;;
        esac
    done
done

$wine wineboot --init >/dev/null 2>&1 || { echo "Wine does not start"; exit 1; }
# One server for all runs, instead of one start per run.
wineserver -p
trap 'wineserver -k; rm -rf "$scratch"' EXIT

# The banner: the values version.h gives the Linux build, with the build's
# own date and time.
value() { sed -n "s/.*$1 = \"\\(.*\\)\";/\\1/p" "$build/generated/version.h"; }
$wine "$exe" -v >"$scratch/banner"
stamp=$(head -n 1 "$scratch/banner" | sed -n 's/.*, built on \(.*\)\r$/\1/p')
printf '%s Version %s, built on %s\r\n%s %s\r\n' "$(value kInternalName)" \
    "$(value kProductVersion)" "$stamp" "$(value kLegalCopyright)" "$(value kRightsReserved)" \
    >"$scratch/banner.want"
if ! cmp -s "$scratch/banner" "$scratch/banner.want"; then
    echo "FAILED: banner"
    od -c "$scratch/banner" | head -n 12
    failed=$((failed + 1))
fi

total=0
skipped=0
for case in "$root"/tests/golden/cases/* "$here"/cases/*; do
    if grep -q "^$(basename "$case") " "$here/skip"; then
        skipped=$((skipped + 1))
        continue
    fi
    total=$((total + 1))
    if ! GOLDEN_TRANSFORM="perl $here/transform.pl $case" \
        sh "$root/tests/golden/run.sh" "$wine $exe" "$case" >"$scratch/log" 2>&1; then
        grep -v '^golden: ' "$scratch/log"
        failed=$((failed + 1))
    fi
done
echo "windows: $total golden cases under Wine ($skipped skipped, see skip), $failed failures"
[ $failed = 0 ]
