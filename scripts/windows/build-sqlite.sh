#!/usr/bin/env bash
# Builds Sqlite3.dll for Windows x64 from Debian's sqlite3 source package with
# mingw-w64 and copies it with its sqlite3.h to OUTDIR. Debian ships SQLite's full source tree, so
# the single-file sqlite3.c is generated on the host first (that needs tclsh).
# The DLL is kept under CACHE per Debian version; a second run only copies it.
#
#   scripts/windows/build-sqlite.sh CACHE OUTDIR
set -euo pipefail
# shellcheck source-path=SCRIPTDIR source=debian-source.sh
source "$(dirname "$0")/debian-source.sh"
expect_arguments 2 "CACHE OUTDIR" "$@"

ensure_packages tcl make gcc dpkg-dev gcc-mingw-w64-x86-64-posix binutils-mingw-w64-x86-64
mkdir -p "$1" "$2"
root=$(cd "$1" && pwd)
cache=$root/sqlite
outdir=$(cd "$2" && pwd)

debian_source sqlite3 "$cache/src" "$root"
build=$cache/$DEBIAN_SOURCE_VERSION
dll=$build/Sqlite3.dll

if [ ! -f "$dll" ]; then
    rm -rf "$build"
    mkdir -p "$build/host"
    (cd "$build/host" && "$cache/src/configure" --disable-tcl --disable-readline >configure.log &&
        make -j"$(nproc)" sqlite3.c >make.log)
    # Exports only the SQLITE_API functions under their plain names; the
    # compiler runtime is linked in so only Windows' own DLLs are needed.
    x86_64-w64-mingw32-gcc-posix -O2 -shared -static-libgcc \
        -DSQLITE_THREADSAFE=1 '-DSQLITE_API=__declspec(dllexport)' \
        -o "$build/Sqlite3.dll.tmp" "$build/host/sqlite3.c"
    x86_64-w64-mingw32-strip --strip-unneeded "$build/Sqlite3.dll.tmp"

    check_dll "$build/Sqlite3.dll.tmp" 'KERNEL32|msvcrt' \
        sqlite3_open sqlite3_exec sqlite3_prepare_v2 sqlite3_step sqlite3_column_text \
        sqlite3_bind_text sqlite3_finalize sqlite3_close sqlite3_errmsg sqlite3_get_table
    mv "$build/Sqlite3.dll.tmp" "$dll"
fi

cp "$dll" "$outdir/Sqlite3.dll"
cp "$build/host/sqlite3.h" "$outdir/sqlite3.h"
echo "$outdir/Sqlite3.dll"
