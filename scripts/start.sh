#!/usr/bin/env bash
# Sets everything up and starts Pelvaro. Without a USB reader on this machine a
# simulated reader is started on a pseudo-terminal and entered as Com1 in the
# settings file beside the program; this terminal then is the reader: press
# 1..9 to hold a card to it (q ends the simulator, closing the window ends all).
set -euo pipefail
cd "$(dirname "$0")/.."
bash scripts/setup.sh

bin=build/bin
if compgen -G "/dev/ttyUSB*" >/dev/null || compgen -G "/dev/ttyACM*" >/dev/null; then
    exec "$bin/pelvaro"
fi

echo "Kein USB-Leser gefunden: ein simulierter Leser wird als Com1 eingetragen."
ready=$(mktemp -u)
trap 'rm -f "$ready"' EXIT
(
    while [ ! -e "$ready" ]; do sleep 0.05; done
    "$bin/pelvaro" || true
    kill -TERM 0 # the window is closed: end the simulator and this script
) &
"$bin/pelvaro-reader-sim" --ini "$bin/Pelvaro.ini" --com 1 --ready-file "$ready"
wait
