#!/bin/sh
# Installs every Debian 12 package the project needs to build, run and test.
set -e
export DEBIAN_FRONTEND=noninteractive
if [ "$(id -u)" != 0 ]; then SUDO=sudo; else SUDO=; fi
$SUDO apt-get update -qq
$SUDO apt-get install -y -qq --no-install-recommends \
  build-essential cmake ninja-build pkg-config git \
  qt6-base-dev qt6-base-dev-tools libgl-dev libxcb1-dev qt6-translations-l10n \
  libsqlite3-dev sqlite3 googletest libgtest-dev libgmock-dev \
  libpugixml-dev libzip-dev zlib1g-dev \
  libreoffice-writer libreoffice-calc libreoffice-dev libreoffice-dev-common python3-uno \
  cups cups-client cups-bsd printer-driver-cups-pdf \
  xvfb xauth x11-apps imagemagick \
  fonts-noto-cjk fonts-wqy-zenhei \
  catdoc antiword poppler-utils qpdf xdg-utils pandoc \
  libapache-poi-java libcommons-io-java default-jdk-headless python3-docx \
  python3-xlwt python3-xlrd python3-openpyxl \
  clang clang-tidy libclang-rt-14-dev \
  procps file \
  lintian desktop-file-utils librsvg2-bin
