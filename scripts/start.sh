#!/usr/bin/env bash
# Sets everything up, then starts a simulated reader on a pseudo-terminal,
# maps it as Com1 and runs the command-line reader on it: press 1..9 to hold a
# card to the reader and watch its code appear; q ends.
set -euo pipefail
cd "$(dirname "$0")/.."
bash scripts/setup.sh

bin=build/bin
ready=$(mktemp -u)
trap 'kill "$reader_pid" 2>/dev/null || true; rm -f "$ready"' EXIT

# The reader starts once the simulator has written the mapping.
(
    while [ ! -e "$ready" ]; do sleep 0.05; done
    exec "$bin/pelvaro-read" --port 1
) &
reader_pid=$!

"$bin/pelvaro-reader-sim" --ini "$bin/Pelvaro.ini" --com 1 --ready-file "$ready"
