#!/bin/sh
# Builds the workbook reader's fuzz target with clang and runs it for FUZZ_SECONDS (default 60)
# from the real-world workbooks. Exits non-zero when the fuzzer finds a crash, a leak or a hang.
set -e
cd "$(dirname "$0")/.."
root=$(pwd)
build="$root/build-fuzz"
seconds="${FUZZ_SECONDS:-60}"

CC=clang CXX=clang++ cmake -S "$root" -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo \
  -DQM_BUILD_FUZZ=ON -DQM_BUILD_GUI=OFF -DQM_BUILD_TESTS=OFF >/dev/null
ninja -C "$build" -j2 fuzz_xls

work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
mkdir "$work/corpus" "$work/artifacts"
# Seeds: our own test workbooks and the real-world ones beside the repository, when they are there.
/usr/bin/python3 "$root/tests/fixtures/make_workbooks.py" "$work/fixtures" >/dev/null 2>&1 || true
for f in "$work"/fixtures/*.xls "$root"/../shared/realworld/xls/*; do
  if [ -f "$f" ]; then cp "$f" "$work/corpus/"; fi
done
status=0
"$build/program/fuzz_xls" "$work/corpus" -max_total_time="$seconds" -timeout=10 -rss_limit_mb=2048 \
  -max_len=400000 -artifact_prefix="$work/artifacts/" -print_final_stats=1 >"$work/log" 2>&1 || status=$?
tail -n 8 "$work/log"
if [ "$status" -ne 0 ] || [ -n "$(ls -A "$work/artifacts")" ]; then
  mkdir -p "$build/crashes"
  cp "$work/artifacts/"* "$build/crashes/" 2>/dev/null || true
  echo "fuzz_xls found a problem (exit $status); inputs kept in $build/crashes" >&2
  exit 1
fi
echo "fuzz_xls: no problem found in ${seconds}s"
