#!/bin/sh
# Builds the core without Qt (the desktop program left out), with AddressSanitizer and
# UndefinedBehaviorSanitizer, and runs every test that needs neither the office nor a window.
# A core that started to need widgets fails here to build; a memory or undefined-behaviour
# error fails the tests.
set -e
cd "$(dirname "$0")/.."
flags="-fsanitize=address,undefined -fno-sanitize-recover=undefined -fno-omit-frame-pointer"
cmake -S . -B build-sanitized -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo -DQM_BUILD_GUI=OFF \
  -DCMAKE_CXX_FLAGS="$flags" -DCMAKE_EXE_LINKER_FLAGS="$flags" -DCMAKE_SHARED_LINKER_FLAGS="$flags" >/dev/null
cmake --build build-sanitized -j"$(nproc)"
cd build-sanitized
ASAN_OPTIONS=detect_leaks=1:abort_on_error=0 UBSAN_OPTIONS=print_stacktrace=1 \
  ctest --output-on-failure -j2 -LE office --timeout 900
