#!/usr/bin/env bash
# library-search.sh OBJDUMP PROGRAM...: each program imports
# SetDefaultDllDirectories, with which it keeps the current directory and PATH
# out of the search for libraries.
set -euo pipefail
objdump=$1
shift
for program in "$@"; do
    # Read to the end: grep -q would stop early and fail objdump's pipe.
    "$objdump" -p "$program" | grep -w SetDefaultDllDirectories >/dev/null ||
        { echo "$program does not import SetDefaultDllDirectories" >&2; exit 1; }
done
