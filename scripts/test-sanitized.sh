#!/bin/sh
# Builds the core without Qt (the desktop program left out), with AddressSanitizer and
# UndefinedBehaviorSanitizer, and runs every test that needs neither the office nor a window,
# then the batch command over the fuzzers' corpora.
# A core that started to need widgets fails here to build; a memory or undefined-behaviour
# error fails the tests.
set -e
cd "$(dirname "$0")/.."
flags="-fsanitize=address,undefined -fno-sanitize-recover=undefined -fno-omit-frame-pointer"
cmake -S . -B build-sanitized -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo -DQM_BUILD_GUI=OFF \
  -DCMAKE_CXX_FLAGS="$flags" -DCMAKE_EXE_LINKER_FLAGS="$flags" -DCMAKE_SHARED_LINKER_FLAGS="$flags" >/dev/null
cmake --build build-sanitized -j"$(nproc)"
status=0
(cd build-sanitized && ASAN_OPTIONS=detect_leaks=1:abort_on_error=0 UBSAN_OPTIONS=print_stacktrace=1 \
  ctest --output-on-failure -j2 -LE office --timeout 900) || status=$?
# The batch command over what the fuzzers grew: damaged workbooks and templates end in a
# refusal or a run, never in a sanitizer's report.
ASAN_OPTIONS=detect_leaks=1:abort_on_error=0 UBSAN_OPTIONS=print_stacktrace=1 \
  sh scripts/batch-over-corpora.sh "$(pwd)/build-sanitized/program/quillmerge-batch" || status=$?
exit $status
