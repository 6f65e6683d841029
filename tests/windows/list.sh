#!/usr/bin/env bash
# List mode through the window: "Transponder lesen (Liste)", a card held, its
# label typed into the prompt, "Stopp", and the list saved through the file
# dialog: the header and the row, in Windows-1252 with CR LF.
# shellcheck source=rig.sh
source "$(dirname "$0")/rig.sh"

settings "[Serial]" "Port=$PORT"
plug_reader reader
start_windows "$work/pelvaro.log" "$app/pelvaro.exe"
main=$(window_named '^Pelvaro')
# Clicks the button with the geometry X Y W H of forms/MainDLG.ui; the page
# starts below the menu bar and the tabs.
press() { xdotool mousemove --window "$main" $(($1 + $3 / 2 + 2)) $(($2 + $4 / 2 + 39)) click 1; }

press 336 56 137 25 # Transponder lesen (Liste)
await "the list reading holding the reader" 30 line_held
hold 1
await "the prompt for the label, with the focus" 20 focused '^Eingabe Aufdruck$'
type_text $'Tür 7\n'
await "the prompt closed" 10 no_window '^Eingabe Aufdruck$'
press 336 88 137 25 # Stopp
await "the reader let go" 10 line_free
press 336 248 137 25 # Transponderliste speichern
await "the file dialog, with the focus" 20 focused '^Kartenliste speichern unter$'
type_text "$(windows_path "$work/Liste.txt")"$'\n'
await "the saved list" 20 test -s "$work/Liste.txt"
expect_file "$work/Liste.txt" 'LfdNr;Seriennummer HEX; Seriennummer DEZ\r\nT\374r 7;12 34 56 78 9A ;78187493530\r\n'
