#!/bin/sh
# Configures and builds everything into ./build (the program folder is build/program).
set -e
cd "$(dirname "$0")/.."
cmake -S . -B build -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo -DCMAKE_EXPORT_COMPILE_COMMANDS=ON "$@" >/dev/null
cmake --build build -j"$(nproc)"
