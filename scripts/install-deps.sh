#!/bin/sh
# Installs every Debian 12 package the program needs to build, run and test.
set -eu
export DEBIAN_FRONTEND=noninteractive
if [ "$(id -u)" -eq 0 ]; then SUDO=""; else SUDO="sudo"; fi
$SUDO apt-get update -qq
$SUDO apt-get install -y -qq --no-install-recommends \
  build-essential cmake ninja-build pkg-config git ccache \
  qt6-base-dev qt6-base-dev-tools libqt6svg6 qt6-qpa-plugins libgl-dev qt6-translations-l10n qt6-charts-dev libqt6opengl6-dev \
  libsqlite3-dev sqlite3 libxlsxwriter-dev libssl-dev openssl zlib1g-dev libdeflate-dev \
  fonts-noto-cjk fonts-droid-fallback xvfb xauth python3 poppler-utils bc unzip \
  clang libclang-rt-14-dev clang-format \
  desktop-file-utils appstream bash-completion groff-base >/dev/null
