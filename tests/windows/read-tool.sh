#!/usr/bin/env bash
# pelvaro-read.exe on the test's COM port prints the code of every card, a
# line each; with --type --enter it types them into the active window.
# shellcheck source=rig.sh
source "$(dirname "$0")/rig.sh"

plug_reader reader
start_windows "$work/codes.log" "$app/pelvaro-read.exe" --port "$PORT"
await "pelvaro-read holding the reader" 30 line_held
hold 1
hold 2
printed() { cmp -s <(tr -d '\r' <"$work/codes.log") <(printf '%b' "$1"); }
await "the codes printed" 20 printed '123456789A\n0A1B2C3D4E\n'
kill "${children[-1]}"
wait "${children[-1]}" || true

plug_reader typing
start_receiver
start_windows "$work/typing.log" "$app/pelvaro-read.exe" --port "$PORT" --type --enter
await "pelvaro-read --type holding the reader" 30 line_held
activate_receiver
hold 3
await "the code typed, and ENTER" 20 typed_is '1003101002\r\n'
