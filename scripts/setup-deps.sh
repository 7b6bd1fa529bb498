#!/usr/bin/env bash
# Installs every Debian package Quor needs to build, run, test and benchmark.
# Safe to run twice; runs apt-get update only when the package lists are missing.
set -euo pipefail

PACKAGES=(
  # build
  build-essential cmake pkg-config git
  libgtest-dev libgmock-dev libbenchmark-dev
  libwxgtk3.2-dev libwxgtk-webview3.2-dev libwebkit2gtk-4.0-dev
  libcurl4-openssl-dev libtinyxml-dev libbz2-dev liblzma-dev
  libcrypto++-dev libdeflate-dev libpng-dev zlib1g-dev libcpp-httplib-dev
  libayatana-appindicator3-dev
  # run and test
  libgl1-mesa-dri xvfb xauth trayer xdotool imagemagick xdg-utils
  bsdiff xz-utils lzma libjs-jquery locales procps
  chromium
  # the notification-area icon's tests: a session bus and a panel's watcher on it
  dbus-daemon dbus-bin libglib2.0-bin python3-dbus python3-gi gir1.2-glib-2.0
  # fuzzing; the format check; the booster library's exit and unload under valgrind
  clang libclang-rt-14-dev clang-format valgrind
  # benchmarks
  nginx-light hyperfine curl libxml2-utils
)

missing=()
for p in "${PACKAGES[@]}"; do
  if ! dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed"; then
    missing+=("$p")
  fi
done

SUDO=""
if [ "$(id -u)" -ne 0 ]; then SUDO="sudo"; fi

if [ ${#missing[@]} -eq 0 ]; then
  echo "setup-deps: all packages present"
else
  export DEBIAN_FRONTEND=noninteractive
  if [ -z "$(ls -A /var/lib/apt/lists 2>/dev/null | grep -v -e lock -e partial)" ]; then
    $SUDO apt-get update
  fi
  if ! $SUDO apt-get install -y --no-install-recommends "${missing[@]}"; then
    # Stale lists: refresh once and try again.
    $SUDO apt-get update
    $SUDO apt-get install -y --no-install-recommends "${missing[@]}"
  fi
fi

# The number-parsing tests run under a German locale (decimal comma).
if ! locale -a 2>/dev/null | grep -qix 'de_DE\.utf-\?8'; then
  $SUDO localedef -i de_DE -f UTF-8 de_DE.UTF-8
fi
