#!/usr/bin/env bash
# Builds the Debian package into build-package/ as a packager's build would
# (Debian's build flags, no warnings as errors, no tests) and checks it with
# lintian, desktop-file-validate and appstreamcli. Needs what
# `setup.sh --tests` installs. Arguments are added to CMake's configuration:
# `-DPELVARO_WERROR=ON -DPELVARO_TESTS=ON` builds the tests with the package.
set -euo pipefail
cd "$(dirname "$0")/.."
# shellcheck source=debian-release.sh
source scripts/debian-release.sh

export DEB_BUILD_MAINT_OPTIONS=hardening=+all
eval "$(dpkg-buildflags --export=sh)"
export CFLAGS="$CFLAGS $CPPFLAGS" CXXFLAGS="$CXXFLAGS $CPPFLAGS" # CMake reads no CPPFLAGS
rm -rf build-package # the flags count only in a fresh configuration
cmake -S . -B build-package -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo -DPELVARO_TESTS=OFF \
    -DCMAKE_INSTALL_PREFIX=/usr -DPELVARO_DEBIAN_RELEASE="$debian_release" \
    -DPELVARO_FONT_PACKAGE="$font_package" -DPELVARO_SVG_PLUGINS_PACKAGE="$svg_plugins_package" \
    -DPELVARO_RELEASE_RECOMMENDS="$(IFS=,; echo "${release_packages[*]}")" "$@"
cmake --build build-package
(cd build-package && cpack -G DEB)
package=$(ls build-package/pelvaro_*.deb)
echo "== $package"

desktop-file-validate packaging/org.pelvaro.Pelvaro.desktop
appstreamcli validate --no-net --explain packaging/org.pelvaro.Pelvaro.metainfo.xml
# Clean up to warnings; its infos (German words taken for misspelt English,
# the compiler's .comment section) are accepted.
lintian --fail-on error,warning "$package"
echo "== $package passed its checks"
