#!/usr/bin/env bash
# Builds the Debian package build/package/zarnik_VERSION-1_amd64.deb: an optimised build with
# Debian's hardening flags, packed by CPack (dependencies from dpkg-shlibdeps), then checked by
# lintian when it is installed. Install it with `apt install ./build/package/zarnik_*.deb`.
set -euo pipefail
cd "$(dirname "$0")/.."
export CCACHE_BASEDIR="$PWD"
export CCACHE_NOHASHDIR=true
# Stack protector, fortified calls, read-only relocations and immediate binding, as Debian's own
# packages are built; the optimisation level comes from the flags too.
export DEB_BUILD_MAINT_OPTIONS=hardening=+all
CFLAGS="$(dpkg-buildflags --get CPPFLAGS) $(dpkg-buildflags --get CFLAGS)"
CXXFLAGS="$(dpkg-buildflags --get CPPFLAGS) $(dpkg-buildflags --get CXXFLAGS)"
LDFLAGS="$(dpkg-buildflags --get LDFLAGS)"
export CFLAGS CXXFLAGS LDFLAGS
cmake --preset package >/dev/null
cmake --build --preset package -j2
rm -f build/package/zarnik_*.deb
(cd build/package && cpack -G DEB >/dev/null)
package=$(ls build/package/zarnik_*.deb)
echo "package: $package"
dpkg-deb --field "$package" Package Version Architecture Depends
if command -v lintian >/dev/null; then
  # Errors fail the package; the warnings left are explained in packaging/debian/README.md.
  lintian --fail-on error "$package"
else
  echo "package: lintian is not installed (scripts/setup.sh installs it); the package was not checked" >&2
fi
