#!/usr/bin/env bash
# Packs the build tree as the Debian package and checks what a user would get from it: the files, the control
# data, metadata a software centre and the menu accept, manual pages man shows without warnings, and the
# postinst. Nothing is installed; the package is only unpacked into a temporary folder.
#   package_test.sh BUILD_FOLDER
set -uo pipefail
build=$1

for tool in cpack dpkg-deb dpkg-parsechangelog appstreamcli desktop-file-validate man readelf; do
    if ! command -v "$tool" >/dev/null; then
        echo "SKIP: $tool is not installed (scripts/setup installs it)"
        exit 77
    fi
done

scratch=$(mktemp -d)
trap 'rm -rf "$scratch"' EXIT
failures=0
fail()
{
    echo "FAIL: $*"
    failures=$((failures + 1))
}

# Packed as a user whose files are group-writable by default, which must not reach the package.
umask 002
if ! packed=$(cpack --config "$build/CPackConfig.cmake" -B "$scratch/out" 2>&1); then
    echo "$packed"
    echo "FAIL: cpack could not make the package"
    exit 1
fi
debs=("$scratch"/out/corvane_*.deb)
if [[ ${#debs[@]} -ne 1 || ! -f ${debs[0]} ]]; then
    echo "FAIL: expected one corvane_*.deb, got: ${debs[*]}"
    exit 1
fi
deb=${debs[0]}
root=$scratch/root
dpkg-deb -x "$deb" "$root"
dpkg-deb -e "$deb" "$scratch/control"

# Control data: the program's own version, and libraries found by dpkg-shlibdeps beside what the postinst needs.
version=$(sed -n 's/^CMAKE_PROJECT_VERSION:STATIC=//p' "$build/CMakeCache.txt")
[[ $(dpkg-deb -f "$deb" Version) == "$version" ]] || fail "Version is $(dpkg-deb -f "$deb" Version), not $version"
[[ $(basename "$deb") == "corvane_${version}_$(dpkg --print-architecture).deb" ]] || fail "file name $(basename "$deb")"
depends=$(dpkg-deb -f "$deb" Depends)
for package in libqt6widgets6 libqt6svg6 libcurl4 libcanberra0 libcap2-bin; do
    [[ ", $depends," == *", $package"[\ ,]* ]] || fail "Depends lacks $package: $depends"
done

# Exactly these files: a stray one (a test program, a header) would be installed on every machine.
expected="/usr/bin/corvane
/usr/bin/corvane-ping
/usr/share/applications/corvane.desktop
/usr/share/corvane/dog.wav
/usr/share/doc/corvane/changelog.gz
/usr/share/doc/corvane/copyright
/usr/share/icons/hicolor/scalable/apps/corvane.svg
/usr/share/man/man1/corvane-ping.1.gz
/usr/share/man/man1/corvane.1.gz
/usr/share/metainfo/org.example.corvane.metainfo.xml"
actual=$(cd "$root" && find . ! -type d | sed 's/^\.//' | LC_ALL=C sort)
[[ "$actual" == "$expected" ]] || fail "the package holds:"$'\n'"$actual"$'\n'"instead of:"$'\n'"$expected"
# Owned by root, writable by root alone, no set-id bits: the capability is the only privilege.
odd=$(dpkg-deb -c "$deb" | awk '$2 != "root/root" || $1 ~ /^.....w|^........w|[sS]/')
[[ -z "$odd" ]] || fail "entries with odd owners or modes:"$'\n'"$odd"

# Stripped, yet still telling the update check its version.
for program in corvane corvane-ping; do
    readelf -S "$root/usr/bin/$program" | grep -q '\.debug_info\|\.symtab' && fail "$program is not stripped"
done
IFS=. read -r major minor release build_number <<<"$version"
note=$(printf '%02x %02x %02x %02x %02x %02x %02x %02x' $((minor & 255)) $((minor >> 8)) $((major & 255)) \
    $((major >> 8)) $((build_number & 255)) $((build_number >> 8)) $((release & 255)) $((release >> 8)))
readelf -n "$root/usr/bin/corvane" | grep -q "description data: bd 04 ef fe $note" \
    || fail "the stripped corvane lost its version note ($note)"

# The menu entry and the software-centre metadata, each checked against the other by validate-tree.
desktop=$root/usr/share/applications/corvane.desktop
out=$(desktop-file-validate "$desktop" 2>&1) || fail "desktop-file-validate: $out"
exec_line=$(sed -n 's/^Exec=//p' "$desktop")
command=${exec_line##* }
[[ -x "$root/usr/bin/$command" ]] || fail "the menu entry starts $command, which the package does not hold"
out=$(appstreamcli validate-tree --no-net --pedantic "$root" 2>&1) || fail "appstreamcli validate-tree: $out"
metainfo=$root/usr/share/metainfo/org.example.corvane.metainfo.xml
grep -q "<release version=\"$version\"" "$metainfo" || fail "the metadata's release is not $version"
gzip -dc "$root/usr/share/doc/corvane/changelog.gz" >"$scratch/changelog"
changed=$(dpkg-parsechangelog -l "$scratch/changelog" -S Version 2>&1)
[[ "$changed" == "$version" ]] || fail "the changelog's newest entry is $changed, not $version"

# A manual page for each program, which man renders without a warning.
for program in corvane corvane-ping; do
    page=$root/usr/share/man/man1/$program.1.gz
    if [[ ! -f "$page" ]]; then
        fail "no manual page for $program"
        continue
    fi
    warnings=$(LC_ALL=C.UTF-8 MANWIDTH=80 man --warnings -E UTF-8 -l "$page" 2>&1 >/dev/null)
    [[ -z "$warnings" ]] || fail "man $program warns:"$'\n'"$warnings"
done

# The postinst, run against a setcap that only records: both programs get the capability at configure, a
# setcap that fails leaves the package installable with a warning, and other actions touch nothing.
postinst=$scratch/control/postinst
mkdir "$scratch/stub"
cat >"$scratch/stub/setcap" <<'EOF'
#!/bin/sh
echo "$*" >>"$SETCAP_LOG"
exit "$SETCAP_STATUS"
EOF
chmod +x "$scratch/stub/setcap"
run_postinst()
{
    : >"$scratch/setcap.log"
    PATH="$scratch/stub:$PATH" SETCAP_LOG="$scratch/setcap.log" SETCAP_STATUS=$1 "$postinst" "${@:2}" \
        2>"$scratch/postinst.err"
}
[[ -x "$postinst" ]] || fail "the postinst is missing or not executable"
run_postinst 0 configure "" || fail "postinst configure failed"
[[ $(cat "$scratch/setcap.log") == $'cap_net_raw+ep /usr/bin/corvane\ncap_net_raw+ep /usr/bin/corvane-ping' ]] \
    || fail "postinst configure ran setcap as: $(cat "$scratch/setcap.log")"
run_postinst 1 configure 0.6.34.59 || fail "postinst configure fails when setcap does"
grep -q "corvane-ping could not be given cap_net_raw" "$scratch/postinst.err" \
    || fail "a failed setcap is not reported: $(cat "$scratch/postinst.err")"
run_postinst 0 abort-upgrade 0.6.34.61 || fail "postinst abort-upgrade failed"
[[ ! -s "$scratch/setcap.log" ]] || fail "postinst abort-upgrade ran setcap"

if ((failures > 0)); then
    echo "$failures check(s) failed"
    exit 1
fi
echo "$(basename "$deb"): all checks passed"
