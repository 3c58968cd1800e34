#!/bin/sh
# Builds and runs every test: unit tests, the real-office tests, the print tests against a
# virtual PDF printer, and a bounded fuzz run of the workbook reader.
set -e
cd "$(dirname "$0")/.."
sh scripts/build.sh
if [ -x scripts/print-server.sh ]; then sh scripts/print-server.sh start; fi
status=0
(cd build && QT_QPA_PLATFORM=offscreen ctest --output-on-failure -j2 --timeout 900) || status=$?
if [ -x scripts/fuzz.sh ]; then sh scripts/fuzz.sh || status=$?; fi
pkill -u "$(id -u)" -f 'soffice.bin.*quillmerge' 2>/dev/null || true
exit $status
