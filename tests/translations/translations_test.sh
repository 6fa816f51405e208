#!/usr/bin/env bash
# Fails when a text marked for translation has no finished translation in the .ts file, or when the file keeps
# texts the sources no longer have: lupdate brings a scratch copy up to date, and the copy is read.
#   translations_test.sh LUPDATE SOURCE_LIST TS_FILE LUPDATE_OPTIONS...
set -uo pipefail
lupdate=$1 sources=$2 file=$3
shift 3
scratch=$(mktemp -d)
trap 'rm -rf "$scratch"' EXIT
copy="$scratch/$(basename "$file")"
cp "$file" "$copy"
"$lupdate" "$@" "@$sources" -ts "$copy" || { echo "FAIL: lupdate could not read the sources"; exit 1; }
report=$(awk '
    /<name>/ { context = $0; gsub(/ *<\/?name>/, "", context) }
    /<source>/ { source = $0; gsub(/ *<\/?source>/, "", source) }
    /type="unfinished"/ { print "  untranslated in " context ": " source }
    /type="vanished"|type="obsolete"/ { print "  no longer in the sources, in " context ": " source }' "$copy")
if [[ -n $report ]]; then
    echo "FAIL: $(basename "$file") is behind the sources; build the target update_translations, translate what"
    echo "      it adds and drop what it marks vanished:"
    echo "$report"
    exit 1
fi
echo "every marked text has its translation in $(basename "$file")"
