#!/usr/bin/env bash
# Fails when a text marked for translation in the sources has no finished translation in a .ts file, or when
# a .ts file keeps texts the sources no longer have: lupdate brings a scratch copy up to date and the copy is
# read. The .ts files themselves are left alone.
#   translations_test.sh LUPDATE SOURCE_LIST TS_FILE... -- LUPDATE_OPTIONS...
set -uo pipefail
lupdate=$1
sources=$2
shift 2
files=()
while (($# > 0)) && [[ $1 != -- ]]; do
    files+=("$1")
    shift
done
shift

scratch=$(mktemp -d)
trap 'rm -rf "$scratch"' EXIT
failures=0
for file in "${files[@]}"; do
    copy="$scratch/$(basename "$file")"
    cp "$file" "$copy"
    if ! "$lupdate" "$@" "@$sources" -ts "$copy" >"$scratch/log" 2>&1; then
        cat "$scratch/log"
        echo "FAIL: lupdate could not read the sources into $(basename "$file")"
        failures=$((failures + 1))
        continue
    fi
    # The context of each message, then the messages whose translation is missing or left over.
    report=$(awk '
        /<name>/ { sub(/.*<name>/, ""); sub(/<\/name>.*/, ""); context = $0 }
        /<source>/ { source = $0; sub(/.*<source>/, "", source); sub(/<\/source>.*/, "", source) }
        /type="unfinished"/ { print "  untranslated in " context ": " source }
        /type="vanished"|type="obsolete"/ { print "  no longer in the sources, in " context ": " source }
    ' "$copy")
    if [[ -n $report ]]; then
        echo "FAIL: $(basename "$file") is not up to date with the sources (build the target update_translations,"
        echo "      then translate what it added and drop what it marked vanished):"
        echo "$report"
        failures=$((failures + 1))
    fi
done
((failures == 0)) && echo "every marked text has its translation in ${files[*]##*/}"
exit $((failures > 0))
