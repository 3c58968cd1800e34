#!/bin/sh
# Builds the fuzz targets with clang and runs each in turn, sharing FUZZ_SECONDS (default 110)
# evenly between them: the workbook reader from the real-world workbooks, the .docx engine from its
# test templates and the .docx sample templates. Exits non-zero when a fuzzer finds a crash,
# a leak or a hang; the inputs are kept in build-fuzz/crashes.
set -e
cd "$(dirname "$0")/.."
root=$(pwd)
build="$root/build-fuzz"
targets="fuzz_xls fuzz_docx"
seconds=$(( ${FUZZ_SECONDS:-110} / $(echo $targets | wc -w) ))

CC=clang CXX=clang++ cmake -S "$root" -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo \
  -DQM_BUILD_FUZZ=ON -DQM_BUILD_GUI=OFF -DQM_BUILD_TESTS=OFF >/dev/null
ninja -C "$build" -j2 $targets

work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT

# Seeds: our own test workbooks and the real-world ones beside the repository, when they are there.
seed_xls() {
  /usr/bin/python3 "$root/tests/fixtures/make_workbooks.py" "$work/fixtures" >/dev/null 2>&1 || true
  for f in "$work"/fixtures/*.xls "$root"/../shared/realworld/xls/*; do
    if [ -f "$f" ]; then cp "$f" "$1/"; fi
  done
}

# Seeds: the .docx test templates and samples, whole and as their bare main part (the target
# packs input that is no zip as the main document part of one).
seed_docx() {
  /usr/bin/python3 "$root/tests/word/engine/make_docx_fixtures.py" "$work/docx" >/dev/null 2>&1 || true
  for f in "$work"/docx/*.docx "$root"/build/program/模板/*.docx; do
    if [ -f "$f" ]; then
      cp "$f" "$1/$(basename "$f")"
      /usr/bin/python3 -c 'import sys, zipfile; sys.stdout.buffer.write(zipfile.ZipFile(sys.argv[1]).read("word/document.xml"))' \
        "$f" >"$1/$(basename "$f").xml" 2>/dev/null || rm -f "$1/$(basename "$f").xml"
    fi
  done
}

status=0
for target in $targets; do
  mkdir -p "$work/$target/corpus" "$work/$target/artifacts"
  case $target in
    fuzz_xls) seed_xls "$work/$target/corpus" ;;
    fuzz_docx) seed_docx "$work/$target/corpus" ;;
  esac
  result=0
  "$build/program/$target" "$work/$target/corpus" -max_total_time="$seconds" -timeout=10 -rss_limit_mb=2048 \
    -max_len=400000 -artifact_prefix="$work/$target/artifacts/" -print_final_stats=1 \
    >"$work/$target/log" 2>&1 || result=$?
  tail -n 8 "$work/$target/log"
  if [ "$result" -ne 0 ] || [ -n "$(ls -A "$work/$target/artifacts")" ]; then
    mkdir -p "$build/crashes"
    cp "$work/$target/artifacts/"* "$build/crashes/" 2>/dev/null || true
    echo "$target found a problem (exit $result); inputs kept in $build/crashes" >&2
    status=1
  else
    echo "$target: no problem found in ${seconds}s"
  fi
done
exit $status
