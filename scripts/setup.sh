#!/usr/bin/env bash
# Installs every Debian package Zarnik needs to build, test, fuzz (Python makes seed databases),
# benchmark and package (Qt 6 Widgets for the desktop program): the manual pages are written with
# scdoc, the icons drawn with rsvg-convert, and the installed files
# checked with man, the three shells, desktop-file-validate, appstreamcli and lintian.
# Idempotent: packages already present are left alone and apt-get update runs once per call,
# only when something is missing.
set -euo pipefail

packages=(
  build-essential cmake ninja-build ccache pkg-config git
  clang-14 libclang-rt-14-dev clang-format clang-tidy
  libgtest-dev libgmock-dev libbenchmark-dev
  libsqlite3-dev libssl-dev libvips-dev libtag1-dev libplist-dev nlohmann-json3-dev
  libpcre2-dev libutf8proc-dev libcli11-dev libfmt-dev libsystemd-dev dbus-daemon libgoogle-perftools-dev
  shared-mime-info strace qt6-base-dev xvfb xauth python3
  scdoc librsvg2-bin appstream desktop-file-utils man-db bash-completion zsh fish lintian
)

missing=()
for p in "${packages[@]}"; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q 'install ok installed' || missing+=("$p")
done

if [ ${#missing[@]} -gt 0 ]; then
  SUDO=""
  [ "$(id -u)" -ne 0 ] && SUDO="sudo"
  echo "setup: installing ${missing[*]}" >&2
  $SUDO apt-get update -qq
  DEBIAN_FRONTEND=noninteractive $SUDO apt-get install -y -qq --no-install-recommends "${missing[@]}" >/dev/null
fi
