#!/bin/sh
# Builds the fuzz targets with clang and runs each one a fixed number of times from a fixed seed,
# so that a slow machine does the same work as a fast one: the .xls reader from our
# workbooks and the real-world ones, the .xlsx/.ods/.csv readers from their test files, the number
# format renderer from the format corpus, the document engine from the sample templates, its .docx
# test templates and the real-world documents. FUZZ_SEED (default 1) picks another sequence and
# FUZZ_SCALE (default 1) multiplies the runs, for longer hunts by hand; FUZZ_SECONDS (default 300)
# caps each target's time. Exits non-zero when a fuzzer finds a crash, a leak or a hang. Each
# target's corpus is left in build-fuzz/corpora/<target>.
set -e
cd "$(dirname "$0")/.."
root=$(pwd)
build="$root/build-fuzz"
seconds="${FUZZ_SECONDS:-300}"
seed="${FUZZ_SEED:-1}"
scale="${FUZZ_SCALE:-1}"

CC=clang CXX=clang++ cmake -S "$root" -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo \
  -DQM_BUILD_FUZZ=ON -DQM_BUILD_GUI=OFF -DQM_BUILD_TESTS=OFF >/dev/null
ninja -C "$build" -j2 fuzz_xls fuzz_sheets fuzz_format fuzz_doc fuzz_docx docx_layout_seeds

work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
status=0

# fuzz <target> <runs> <max_len> <seed files...>
fuzz() {
  target=$1 runs=$(($2 * scale)) maxlen=$3
  shift 3
  mkdir -p "$work/$target/corpus" "$work/$target/artifacts"
  for f in "$@"; do
    if [ -f "$f" ]; then cp "$f" "$work/$target/corpus/"; fi
  done
  rc=0
  "$build/program/$target" "$work/$target/corpus" -seed="$seed" -runs="$runs" \
    -max_total_time="$seconds" -timeout=10 -rss_limit_mb=2048 \
    -max_len="$maxlen" -artifact_prefix="$work/$target/artifacts/" -print_final_stats=1 \
    >"$work/$target/log" 2>&1 || rc=$?
  tail -n 4 "$work/$target/log"
  # The corpus grown here is kept for the sanitized batch command (scripts/test-sanitized.sh).
  rm -rf "$build/corpora/$target"
  mkdir -p "$build/corpora"
  cp -r "$work/$target/corpus" "$build/corpora/$target"
  if [ "$rc" -ne 0 ] || [ -n "$(ls -A "$work/$target/artifacts")" ]; then
    mkdir -p "$build/crashes/$target"
    cp "$work/$target/artifacts/"* "$build/crashes/$target/" 2>/dev/null || true
    echo "$target found a problem (exit $rc); inputs kept in $build/crashes/$target" >&2
    status=1
  else
    done=$(sed -n 's/^stat::number_of_executed_units: *//p' "$work/$target/log")
    echo "$target: no problem found in ${done:-?} of $runs runs from seed $seed"
  fi
}

# Seeds: our own test files and the real-world ones beside the repository, when they are there.
/usr/bin/python3 "$root/tests/data/xls/make_workbooks.py" "$work/fixtures" >/dev/null 2>&1 || true
/usr/bin/python3 "$root/tests/data/sheets/make_sheet_fixtures.py" "$work/sheets" >/dev/null 2>&1 || true
fuzz fuzz_xls 100000 400000 "$work"/fixtures/*.xls "$root"/../shared/realworld/xls/*

fuzz fuzz_sheets 300000 200000 "$work"/sheets/*

# Format seeds: 8 bytes of a value, a date-system byte, then a code from the corpus.
mkdir -p "$work/codes"
/usr/bin/python3 - "$root/tests/data/format/cases.tsv" "$work/codes" <<'PY'
import struct, sys
for n, line in enumerate(open(sys.argv[1], encoding="utf-8")):
    if line.startswith("--") or not line.strip():
        continue
    code = line.split("\t")[0]
    with open("%s/%03d" % (sys.argv[2], n), "wb") as f:
        f.write(struct.pack("<d", 45356.604) + bytes([n & 1]) + code.encode("utf-8"))
PY
fuzz fuzz_format 300000 256 "$work"/codes/*

# Document templates: the shipped samples, the engine's test templates (forms.doc has check
# boxes and a drop-down) and the real-world documents.
fuzz fuzz_doc 60000 600000 "$root"/build/program/模板/*.doc "$root"/build/tests/word/engine/templates/*.doc \
  "$root"/../shared/realworld/doc/*

# .docx seeds: the test templates, the samples, and their main parts as bare XML (the target also
# reads a part on its own); and bookmarks where Word writes their marks.
mkdir -p "$work/docx-seeds"
"$build/program/docx_layout_seeds" "$work/docx-seeds"
/usr/bin/python3 "$root/tests/word/engine/make_docx_fixtures.py" "$work/docx" >/dev/null 2>&1 || true
for f in "$work"/docx/*.docx "$root"/build/program/模板/*.docx "$root"/../shared/realworld/docx/*.docx; do
  if [ -f "$f" ]; then
    cp "$f" "$work/docx-seeds/$(basename "$f")"
    /usr/bin/python3 -c 'import sys, zipfile; sys.stdout.buffer.write(zipfile.ZipFile(sys.argv[1]).read("word/document.xml"))' \
      "$f" >"$work/docx-seeds/$(basename "$f").xml" 2>/dev/null || rm -f "$work/docx-seeds/$(basename "$f").xml"
  fi
done
fuzz fuzz_docx 40000 400000 "$work"/docx-seeds/*
exit $status
