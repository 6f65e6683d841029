#!/usr/bin/env bash
# library-search.sh OBJDUMP PROGRAM...: each program imports
# SetDefaultDllDirectories, with which it keeps the current directory and PATH
# out of the search for libraries.
set -euo pipefail
objdump=$1
shift
for program in "$@"; do
    "$objdump" -p "$program" | grep -qw SetDefaultDllDirectories ||
        { echo "$program does not import SetDefaultDllDirectories" >&2; exit 1; }
done
