#!/bin/sh
# Builds the Debian package quillmerge_<version>_<arch>.deb and prints its path. The package is
# built in a folder of its own, build-package/, with Debian's compiler and linker hardening
# flags and without the tests, so it never carries what runs from build/ left behind.
set -e
cd "$(dirname "$0")/.."
build="$(pwd)/build-package"
DEB_BUILD_MAINT_OPTIONS=hardening=+all
export DEB_BUILD_MAINT_OPTIONS
cmake -S . -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo -DQM_BUILD_TESTS=OFF \
  -DCMAKE_INSTALL_PREFIX=/usr \
  -DCMAKE_CXX_FLAGS="$(dpkg-buildflags --get CXXFLAGS) $(dpkg-buildflags --get CPPFLAGS)" \
  -DCMAKE_EXE_LINKER_FLAGS="$(dpkg-buildflags --get LDFLAGS)" >/dev/null
cmake --build "$build" -j"${JOBS:-$(nproc)}" >&2
rm -f "$build"/quillmerge_*.deb
(cd "$build" && cpack -G DEB >&2)
ls "$build"/quillmerge_*.deb
