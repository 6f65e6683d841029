#!/usr/bin/env bash
# Builds libmosquitto.dll for Windows x64 from Debian's mosquitto source package
# with mingw-w64, against the OpenSSL that build-openssl.sh installed in
# OPENSSL, with its threads from winpthreads and mosquitto-own-ssl-ctx.patch
# applied. Only the client library: no broker, no clients, no apps, no
# plugins, no C++ wrapper, no cJSON. Kept under CACHE per Debian version;
# OUTDIR receives both libraries ready for the build: include/ (mosquitto.h
# and its companions, openssl/), lib/ (import libraries), bin/ (the DLLs).
#
#   scripts/windows/build-mosquitto.sh CACHE OPENSSL OUTDIR
set -euo pipefail
here=$(cd "$(dirname "$0")" && pwd)
# shellcheck source-path=SCRIPTDIR source=debian-source.sh
source "$here/debian-source.sh"
expect_arguments 3 "CACHE OPENSSL OUTDIR" "$@"

ensure_packages cmake ninja-build dpkg-dev patch gcc-mingw-w64-x86-64-posix binutils-mingw-w64-x86-64
mkdir -p "$1" "$3"
root=$(cd "$1" && pwd)
openssl=$(cd "$2" && pwd)
outdir=$(cd "$3" && pwd)
cache=$root/mosquitto

debian_source mosquitto "$cache/src" "$root"
patch_file=$here/mosquitto-own-ssl-ctx.patch
if ! patch -d "$cache/src" -p1 -R --dry-run -s -f <"$patch_file" >/dev/null 2>&1; then
    patch -d "$cache/src" -p1 -s <"$patch_file"
fi
# Rebuilt when either library's version or the patch changes.
prefix=$cache/$DEBIAN_SOURCE_VERSION-$(sha256sum "$patch_file" | cut -c1-8)-openssl-$(basename "$openssl")

if [ ! -f "$prefix/bin/libmosquitto.dll" ]; then
    build=$cache/build
    rm -rf "$build" "$prefix"
    # Its own threading switch looks for a pthreads build of Visual C++; the
    # compiler's winpthreads is given instead.
    cmake -S "$cache/src" -B "$build" -G Ninja \
        -DCMAKE_TOOLCHAIN_FILE="$here/toolchain-mingw64-posix.cmake" \
        -DCMAKE_BUILD_TYPE=Release -DCMAKE_INSTALL_PREFIX="$prefix" \
        -DOPENSSL_INCLUDE_DIR="$openssl/include" \
        -DSSL_EAY="$openssl/lib/libssl.dll.a" -DLIB_EAY="$openssl/lib/libcrypto.dll.a" \
        -DWITH_TLS=ON -DWITH_TLS_PSK=ON -DWITH_EC=ON -DWITH_SOCKS=OFF -DWITH_SRV=OFF \
        -DWITH_THREADING=OFF -DCMAKE_C_FLAGS="-DWITH_THREADING" -DCMAKE_C_STANDARD_LIBRARIES=-lpthread \
        -DWITH_BROKER=OFF -DWITH_CLIENTS=OFF -DWITH_APPS=OFF -DWITH_PLUGINS=OFF \
        -DWITH_LIB_CPP=OFF -DWITH_CJSON=OFF -DDOCUMENTATION=OFF -DWITH_STATIC_LIBRARIES=OFF \
        >"$cache/configure.log"
    nice cmake --build "$build" -j2 >"$cache/build.log"
    cmake --install "$build" --strip >"$cache/install.log"
    # Its install rule leaves out the import library.
    cp "$build/lib/libmosquitto.dll.a" "$prefix/lib/"
    rm -rf "$build"
fi

check_dll "$prefix/bin/libmosquitto.dll" \
    'KERNEL32|msvcrt|ADVAPI32|WS2_32|libssl-3-x64|libcrypto-3-x64|libwinpthread-1' \
    mosquitto_lib_init mosquitto_new mosquitto_connect mosquitto_publish_v5 \
    mosquitto_tls_set mosquitto_void_option mosquitto_int_option mosquitto_loop_start

rm -rf "${outdir:?}/include" "${outdir:?}/lib" "${outdir:?}/bin"
mkdir -p "$outdir/include" "$outdir/lib" "$outdir/bin"
cp -r "$openssl/include/openssl" "$prefix"/include/*.h "$outdir/include/"
cp "$openssl"/lib/*.dll.a "$prefix"/lib/libmosquitto.dll.a "$outdir/lib/"
cp "$openssl"/bin/*.dll "$prefix/bin/libmosquitto.dll" "$outdir/bin/"
echo "$outdir"
