#!/bin/sh
# Converts the readable template sources into the .doc and .docx files the program ships.
#   convert_templates.sh <soffice> <python3> <profile dir> <output dir> <source>...
# One office start for each format converts every source, with a profile folder of its own, so
# the build never meets an office the user (or another build) is running. The office reports
# success even when a file failed to convert, so every expected output is checked here.
set -eu
soffice=$1 python=$2 profile=$3 outdir=$4
shift 4

mkdir -p "$outdir" "$profile"
profile_url=$("$python" -c 'import pathlib, sys; print(pathlib.Path(sys.argv[1]).resolve().as_uri())' "$profile")
status=0
for target in "doc:MS Word 97" "docx:MS Word 2007 XML"; do
  ext=${target%%:*}
  for src in "$@"; do
    base=$(basename "$src")
    rm -f "$outdir/${base%.*}.$ext"
  done

  "$soffice" "-env:UserInstallation=$profile_url" --headless --invisible --norestore \
    --convert-to "$target" --outdir "$outdir" "$@" >/dev/null 2>&1 || true

  for src in "$@"; do
    base=$(basename "$src")
    out="$outdir/${base%.*}.$ext"
    if [ ! -s "$out" ]; then
      echo "convert_templates.sh: $src was not converted to $out" >&2
      status=1
    fi
  done
done
exit $status
