#!/usr/bin/env bash
# Builds libpq.dll for Windows x64 from Debian's postgresql-15 source package
# with mingw-w64, against the OpenSSL that build-openssl.sh installs in the
# same CACHE (its DLLs are looked for beside libpq.dll). Only the client
# library and what it is made of (src/port, src/common): no server, no tools,
# no manuals; no readline, zlib, ICU, LDAP or translations. Installed under
# CACHE per Debian and OpenSSL version in one folder: libpq.dll with OpenSSL's
# DLLs, and the headers a program that binds it at run time needs
# (libpq-fe.h, postgres_ext.h, pg_config_ext.h); a second run only prints
# that folder.
#
#   scripts/windows/build-libpq.sh CACHE
set -euo pipefail
here=$(cd "$(dirname "$0")" && pwd)
# shellcheck source-path=SCRIPTDIR source=debian-source.sh
source "$here/debian-source.sh"
expect_arguments 1 "CACHE" "$@"

ensure_packages perl make dpkg-dev gcc-mingw-w64-x86-64-posix binutils-mingw-w64-x86-64
mkdir -p "$1"
root=$(cd "$1" && pwd)
openssl=$(bash "$here/build-openssl.sh" "$root")
cache=$root/postgresql

debian_source postgresql-15 "$cache/src" "$root"
prefix=$cache/$DEBIAN_SOURCE_VERSION-openssl-$(basename "$openssl")

if [ ! -f "$prefix/libpq.dll" ]; then
    build=$cache/build
    rm -rf "$build" "$prefix"
    mkdir -p "$build"
    # The compiler's runtime is linked in, so only Windows' own DLLs and
    # OpenSSL's are needed beside it.
    (cd "$build" && "$cache/src/configure" --host=x86_64-w64-mingw32 \
        CC=x86_64-w64-mingw32-gcc-posix CFLAGS=-O2 LDFLAGS=-static-libgcc \
        --with-ssl=openssl --with-includes="$openssl/include" --with-libraries="$openssl/lib" \
        --without-readline --without-zlib --without-icu --without-ldap --without-gssapi \
        --disable-nls --prefix="$prefix" >configure.log)
    # The generated headers, and src/port and src/common only in the variants
    # that libpq links on Windows: their "all", which libpq's makefile asks
    # for unless told otherwise, would build the server's as well.
    {
        nice make -C "$build/src/backend" generated-headers
        nice make -C "$build/src/port" -j2 libpgport.a libpgport_shlib.a
        nice make -C "$build/src/common" -j2 libpgcommon.a libpgcommon_shlib.a
        nice make -C "$build/src/interfaces/libpq" -j2 all-shared-lib SHLIB_PREREQS=
    } >"$build/make.log"
    check_dll "$build/src/interfaces/libpq/libpq.dll" \
        'KERNEL32|msvcrt|ADVAPI32|SHELL32|WS2_32|SECUR32|libssl-3-x64|libcrypto-3-x64' \
        PQlibVersion PQconnectdb PQstatus PQerrorMessage PQexecParams PQgetvalue \
        PQconsumeInput PQnotifies PQsocket PQfinish

    mkdir -p "$prefix"
    cp "$build/src/interfaces/libpq/libpq.dll" "$openssl"/bin/*.dll "$prefix/"
    x86_64-w64-mingw32-strip --strip-unneeded "$prefix/libpq.dll"
    cp "$cache/src/src/interfaces/libpq/libpq-fe.h" "$cache/src/src/include/postgres_ext.h" \
        "$build/src/include/pg_config_ext.h" "$prefix/"
    rm -rf "$build"
fi
echo "$prefix"
