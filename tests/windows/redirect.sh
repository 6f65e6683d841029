#!/usr/bin/env bash
# Redirect mode started with the program, hidden into the notification area,
# types into the active window of another program: a card without a
# personnel number as its code, a card with one as that number (umlaut, euro
# sign, Cyrillic), each with ENTER.
# shellcheck source=rig.sh
source "$(dirname "$0")/rig.sh"

settings "[Serial]" "Port=$PORT" "[Global]" "LineFeed=1" "SysTray=1" "SendPSNR=1" "Autostart=1"
sqlite3 "$app/db_Personal.sqlite" "CREATE TABLE t_card_personal (Cardcode VARCHAR(50) PRIMARY KEY NOT NULL,
    PersNum VARCHAR(50) NOT NULL); INSERT INTO t_card_personal VALUES ('123456789A', 'Müller-€-Жук');"
plug_reader reader
start_receiver
start_windows "$work/pelvaro.log" "$app/pelvaro.exe"
await "redirect mode holding the reader" 30 line_held
await "the LED in the notification area" 30 led yellow
await "the window hidden" 10 no_window '^Pelvaro'
activate_receiver
hold 2
await "the code of a card without a personnel number, and ENTER" 20 typed_is '0A1B2C3D4E\r\n'
hold 1
await "the personnel number of a card, and ENTER" 20 typed_is '0A1B2C3D4E\r\nMüller-€-Жук\r\n'
