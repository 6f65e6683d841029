#!/usr/bin/env bash
# docs/main-window-windows.png: the main window of the portable zip's
# pelvaro.exe under wine, on an X server of its own. Run after scripts/windows.sh.
set -euo pipefail
cd "$(dirname "$0")/../.."
exec xvfb-run --auto-servernum --server-args="-screen 0 1280x1024x24" bash -c '
    set -euo pipefail
    dir=$(mktemp -d)
    (cd "$dir" && cmake -E tar xf "$PWD/build-windows/Pelvaro-3.0-windows-x64.zip")
    printf "[Serial]\r\nPort=1\r\n" >"$dir/Pelvaro/Pelvaro.ini"
    xdotool mousemove 0 0
    build-windows/wine-run.sh "$dir/Pelvaro/pelvaro.exe" & pid=$!
    window=$(timeout 60 xdotool search --sync --onlyvisible --name "^Pelvaro")
    sleep 1 # the first paint
    import -window "$window" docs/main-window-windows.png
    kill $pid; wait $pid || true; rm -rf "$dir"'
