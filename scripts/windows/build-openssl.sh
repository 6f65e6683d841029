#!/usr/bin/env bash
# Builds OpenSSL's shared libraries (libcrypto-3-x64.dll, libssl-3-x64.dll) for
# Windows x64 from Debian's openssl source package with mingw-w64, for
# libmosquitto. Only the libraries: no programs, no tests, no manuals, no
# engines, no loadable providers. Installed under CACHE per Debian version
# (include/, lib/ with the import libraries, bin/ with the DLLs); a second run
# only prints that folder.
#
#   scripts/windows/build-openssl.sh CACHE
set -euo pipefail
# shellcheck source-path=SCRIPTDIR source=debian-source.sh
source "$(dirname "$0")/debian-source.sh"
expect_arguments 1 "CACHE" "$@"

ensure_packages perl make dpkg-dev gcc-mingw-w64-x86-64-posix binutils-mingw-w64-x86-64
mkdir -p "$1"
root=$(cd "$1" && pwd)
cache=$root/openssl

debian_source openssl "$cache/src" "$root"
prefix=$cache/$DEBIAN_SOURCE_VERSION

if [ ! -f "$prefix/bin/libssl-3-x64.dll" ]; then
    build=$cache/build
    rm -rf "$build" "$prefix"
    mkdir -p "$build"
    # Where OpenSSL looks for its openssl.cnf on Windows: a folder only
    # administrators may change (the build's own path would be "C:\root\...",
    # which any user can create).
    openssldir='C:/Program Files/Common Files/SSL'
    # Ciphers no broker asks for are left out; TLS 1.2 and 1.3 with their
    # usual suites, PSK included, stay.
    (cd "$build" && CC=x86_64-w64-mingw32-gcc-posix AR=x86_64-w64-mingw32-ar \
        RANLIB=x86_64-w64-mingw32-ranlib RC=x86_64-w64-mingw32-windres \
        perl "$cache/src/Configure" mingw64 shared no-tests no-engine no-module no-legacy \
        no-ssl3 no-comp no-idea no-mdc2 no-rc2 no-rc4 no-rc5 no-seed no-camellia no-aria \
        no-sm2 no-sm3 no-sm4 no-whirlpool no-srp no-gost no-siphash no-cast no-bf \
        no-md4 no-rmd160 no-ocb \
        --prefix="$prefix" --libdir=lib "--openssldir=$openssldir" >configure.log)
    # The DLLs alone: "build_libs" would compile everything a second time for
    # the static libraries.
    nice make -C "$build" -j2 build_generated libcrypto-3-x64.dll libssl-3-x64.dll >"$build/make.log"
    mkdir -p "$prefix/bin" "$prefix/lib" "$prefix/include/openssl"
    cp "$cache"/src/include/openssl/*.h "$build"/include/openssl/*.h "$prefix/include/openssl/"
    cp "$build"/lib{crypto,ssl}.dll.a "$prefix/lib/"
    cp "$build"/lib{crypto,ssl}-3-x64.dll "$prefix/bin/"
    x86_64-w64-mingw32-strip --strip-unneeded "$prefix"/bin/*.dll

    if x86_64-w64-mingw32-objdump -p "$prefix"/bin/*.dll | grep -i 'DLL Name:' |
        grep -viE 'KERNEL32|msvcrt|ADVAPI32|USER32|WS2_32|CRYPT32|libcrypto-3-x64'; then
        echo "OpenSSL's DLLs need a DLL other than Windows' own" >&2
        exit 1
    fi
    rm -rf "$build"
fi
echo "$prefix"
