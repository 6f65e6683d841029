#!/usr/bin/env bash
# Redirect mode while the reader is pulled out and plugged in again behind
# the same COM port: the LED in the notification area turns red and back, the
# card before and the cards after arrive, none twice.
# shellcheck source=rig.sh
source "$(dirname "$0")/rig.sh"

settings "[Serial]" "Port=$PORT" "[Global]" "LineFeed=1" "SysTray=1" "Autostart=1"
plug_reader first
start_receiver
start_windows "$work/pelvaro.log" "$app/pelvaro.exe"
await "redirect mode holding the reader" 30 line_held
await "the yellow LED in the notification area" 30 led yellow
await "the window hidden" 10 no_window '^Pelvaro'
activate_receiver
hold 1
await "the card before" 20 typed_is '123456789A\r\n'
hold h
await "the red LED of a reader gone" 10 led red
plug_reader second
await "redirect mode holding the reader again" 10 line_held
await "the yellow LED again" 10 led yellow
hold 2
await "the card after" 20 typed_is '123456789A\r\n0A1B2C3D4E\r\n'
hold 3
await "the next card, with nothing twice before it" 20 \
    typed_is '123456789A\r\n0A1B2C3D4E\r\n1003101002\r\n'
