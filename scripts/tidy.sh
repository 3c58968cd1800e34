#!/bin/sh
# Runs clang-tidy's bug-prone checks (listed in .clang-tidy, with the reasons for those left
# out) over every .cpp file of the source folders that build/compile_commands.json names, two
# files at a time; any finding fails. Generated sources (moc files, the UNO headers) live in the
# build folder and are neither checked nor reported: only headers of the source folders report.
# Prints how long the run took.
set -e
cd "$(dirname "$0")/.."
root=$(pwd)
if ! command -v run-clang-tidy >/dev/null 2>&1; then
  echo "tidy.sh: run-clang-tidy is missing (apt-get install clang-tidy)" >&2
  exit 1
fi
if [ ! -f build/compile_commands.json ]; then
  echo "tidy.sh: build/compile_commands.json is missing; configure the build first" >&2
  exit 1
fi
folders="(app|batch|bench|common|data|fuzz|merge|tests|word)"
start=$(date +%s)
status=0
run-clang-tidy -j2 -quiet -p build -header-filter="^$root/$folders/" "^$root/$folders/.*\\.cpp\$" \
  >build/clang-tidy.log 2>&1 || status=$?
# The checks' own findings and clang's errors, without the counts of suppressed warnings.
grep -E "(warning|error): " build/clang-tidy.log | sed 's/\x1b\[[0-9;]*m//g' || true
echo "tidy.sh: clang-tidy took $(($(date +%s) - start)) s (full output in build/clang-tidy.log)"
if [ "$status" != 0 ]; then
  echo "tidy.sh: clang-tidy found problems" >&2
fi
exit $status
