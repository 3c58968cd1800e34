#!/bin/sh
# Builds and runs every test: the sources checked against .clang-format and by clang-tidy's
# bug-prone checks (scripts/tidy.sh), a bounded fuzz run of
# the workbook reader, then the unit tests, the real-office tests and the print tests against a
# virtual PDF printer, the Debian package built, installed, used as an ordinary user and removed
# again (as root only), and last the core built without Qt under the address and
# undefined-behaviour sanitizers with its tests.
set -e
cd "$(dirname "$0")/.."
sh scripts/build.sh
status=0
sh scripts/check-format.sh || status=$?
sh scripts/tidy.sh || status=$?
sh scripts/fuzz.sh || status=$?
sh scripts/print-server.sh start || echo "test.sh: the print server did not start; the print tests will skip" >&2
(cd build && QT_QPA_PLATFORM=offscreen ctest --output-on-failure -j2 --timeout 900) || status=$?
sh scripts/test-package.sh || status=$?
sh scripts/test-sanitized.sh || status=$?
exit $status
