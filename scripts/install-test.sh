#!/usr/bin/env bash
# Installs the package of build-package/ on this machine (root, a CI machine)
# and runs the installed program as a user would: from that user's home,
# with /usr/bin not writable, under an X server of its own. A setting saved
# must land in the user's folder, and a card of the simulator must be read.
set -euo pipefail
cd "$(dirname "$0")/.."
[ "$(id -u)" -eq 0 ] || { echo "install-test.sh installs a package: run it as root" >&2; exit 1; }

DEBIAN_FRONTEND=noninteractive apt-get install -y --no-install-recommends ./build-package/pelvaro_*.deb

user=pelvaro-install-test
id "$user" >/dev/null 2>&1 || useradd --create-home "$user"
home=$(getent passwd "$user" | cut -d: -f6)
as_user() { runuser -u "$user" -- env HOME="$home" DISPLAY=:97 XDG_RUNTIME_DIR= "$@"; }
config=$home/.config/Pelvaro/Pelvaro.ini

work=$(mktemp -d)
chmod 755 "$work"
pids=()
# runuser hands no signal on: a program it started is ended as its child.
end_user_program() { pkill -TERM -P "$1" || true; }
cleanup() {
    for pid in "${pids[@]}"; do end_user_program "$pid"; kill "$pid" 2>/dev/null || true; done
    wait 2>/dev/null || true
    rm -rf "$work"
}
trap cleanup EXIT
fail() { echo "install test: $*" >&2; cat "$work"/*.log >&2 2>/dev/null || true; exit 1; }
wait_for() { # seconds, command...
    local seconds=$1; shift
    for _ in $(seq $((seconds * 10))); do "$@" && return 0; sleep 0.1; done
    return 1
}

Xvfb :97 -screen 0 1024x768x24 -nolisten tcp -ac >"$work/xvfb.log" 2>&1 &
pids+=($!)
wait_for 10 xdpyinfo -display :97 >/dev/null 2>&1 || fail "no X server"

echo "== the places of an installed program"
paths=$(as_user pelvaro --paths)
echo "$paths"
grep -qx "Einstellungen: $config" <<<"$paths" || fail "settings not in the user's folder"
grep -qx "Datenbank: $home/.local/share/Pelvaro/db_Personal.sqlite" <<<"$paths" ||
    fail "database not in the user's folder"
grep -q "^SQLite: /.*libsqlite3.so.0" <<<"$paths" || fail "the system's SQLite is not bound"

# The simulated reader, mapped as Com1 in the user's settings file; it
# holds a card interval milliseconds after the program opened the line.
simulate() { # interval
    as_user pelvaro-reader-sim --ini "$config" --com 1 --codes 123456789A --interval "$1" \
        >"$work/simulator.log" 2>&1 &
    pids+=($!)
    mapped() { grep -q '^Com1=' "$config"; }
    wait_for 10 mapped || fail "the simulator did not map Com1"
}

echo "== a setting saved from the settings dialog"
as_user mkdir -p "$(dirname "$config")"
as_user sh -c "printf '[Global]\nAutosave=1\n[Serial]\nPort=1\n[Ports]\nDefaults=0\n' > '$config'"
simulate 600000 # the dialog's port scan finds it; no card
simulator=${pids[-1]}
as_user pelvaro >"$work/pelvaro.log" 2>&1 &
pids+=($!)
window=""
find_window() {
    window=$(DISPLAY=:97 xdotool search --onlyvisible --name '^Pelvaro Version3$' 2>/dev/null | head -n1)
    [ -n "$window" ]
}
wait_for 20 find_window || fail "no main window"
sleep 1 # the start-up sequence runs after the first show
DISPLAY=:97 xdotool windowfocus --sync "$window" key alt+o
sleep 0.5
DISPLAY=:97 xdotool key e
dialog_open() { DISPLAY=:97 xdotool search --onlyvisible --name '^Einstellungen$' >/dev/null 2>&1; }
wait_for 20 dialog_open || fail "the settings dialog did not open"
DISPLAY=:97 xdotool key Return
saved() { grep -q '^Hitag_inv=1' "$config"; }
wait_for 10 saved || fail "OK saved nothing into $config"
[ ! -e /usr/bin/Pelvaro.ini ] || fail "a file beside the installed program"
end_user_program "${pids[-1]}"
end_user_program "$simulator"
unmapped() { ! grep -q '^Com1=' "$config"; }
wait_for 10 unmapped || fail "the simulator left its mapping"

echo "== a card of the simulator read in redirect mode"
sed -i 's/^Autostart=0/Autostart=1/' "$config"
simulate 1000
as_user pelvaro >"$work/pelvaro2.log" 2>&1 &
pids+=($!)
read_card() { grep -q 'quittiert' "$work/simulator.log"; }
wait_for 30 read_card || fail "the card was not read"
cat "$work/simulator.log"
echo "== the installed program works for a user"
