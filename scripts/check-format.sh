#!/bin/sh
# Checks that every C++ source and header follows .clang-format. Skips, with a word, where
# clang-format is not installed.
cd "$(dirname "$0")/.."
if ! command -v clang-format >/dev/null 2>&1; then
    echo "check-format.sh: clang-format is not installed; the layout is not checked" >&2
    exit 0
fi
if git ls-files '*.h' '*.cpp' | xargs clang-format --dry-run -Werror; then
    echo "check-format.sh: every source follows .clang-format"
else
    echo "check-format.sh: the files above do not follow .clang-format (run clang-format -i on them)" >&2
    exit 1
fi
