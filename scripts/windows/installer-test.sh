#!/usr/bin/env bash
# Installs build-windows/Pelvaro-*-setup.exe silently into a wine prefix of its
# own and checks it as a user would find it: only in Program Files, with a
# Start-menu entry, the installed program keeping its files in the user's
# %APPDATA%\Pelvaro and starting with the session on request, and a silent
# uninstall that removes the program and its Run value and leaves those files.
# Needs an X server (DISPLAY); scripts/windows.sh runs it under xvfb-run.
set -euo pipefail
cd "$(dirname "$0")/../.."
setup=$(ls build-windows/Pelvaro-*-windows-x64-setup.exe)

work=$(mktemp -d)
export WINEPREFIX=$work/wine WINEDEBUG=-all WINEDLLOVERRIDES=mscoree,mshtml=
cleanup() { wineserver --kill 2>/dev/null || true; rm -rf "$work"; }
trap cleanup EXIT
fail() { echo "installer test: $*" >&2; exit 1; }
wait_for() { # seconds, command...
    local seconds=$1; shift
    for _ in $(seq $((seconds * 10))); do "$@" && return 0; sleep 0.1; done
    return 1
}
wineboot --init >/dev/null 2>&1
wineserver --wait

drive_c=$WINEPREFIX/drive_c
program_dir=$drive_c/Program\ Files/Pelvaro
start_menu=$drive_c/ProgramData/Microsoft/Windows/Start\ Menu/Programs
app_data=$drive_c/users/$(id -un)/AppData/Roaming/Pelvaro

echo "== no folder outside Program Files, where every user may change the programs"
# /D= takes the rest of the command line and no quotes, so no blanks here.
for folder in 'C:\Pelvaro' 'C:\PROGRA~1\..\Pelvaro'; do
    if wine "$setup" /S "/D=$folder"; then fail "installed into $folder"; fi
    wineserver --wait
    [ ! -e "$drive_c/Pelvaro" ] || fail "files were put into $folder"
done

echo "== a silent install"
wine "$setup" /S
wineserver --wait
[ -x "$program_dir/pelvaro.exe" ] || fail "pelvaro.exe is not in Program Files"
for file in pelvaro-read.exe Sqlite3.dll Qt6Widgets.dll platforms/qwindows.dll \
    Qt6Network.dll tls/qschannelbackend.dll libmosquitto.dll libssl-3-x64.dll libcrypto-3-x64.dll libpq.dll \
    translations/qtbase_de.qm Pelvaro.installed Deinstallieren.exe; do
    [ -f "$program_dir/$file" ] || fail "$file was not installed"
done
[ -f "$start_menu/Pelvaro.lnk" ] || fail "no Start-menu entry"

echo "== the installed program keeps its files in the user's folder"
paths=$(wine "$program_dir/pelvaro.exe" --paths | tr -d '\r')
grep -q '^Einstellungen: C:\\users\\.*\\AppData\\Roaming\\Pelvaro\\Pelvaro.ini$' <<<"$paths" ||
    fail "settings not in %APPDATA%: $paths"
grep -qx 'Dateien im Ordner des Benutzers' <<<"$paths" || fail "not an installed copy: $paths"
# Started once, it creates the personnel database there.
wine "$program_dir/pelvaro.exe" &
wait_for 60 test -f "$app_data/db_Personal.sqlite" || fail "no db_Personal.sqlite in %APPDATA%"
wineserver --kill
[ ! -e "$program_dir/db_Personal.sqlite" ] || fail "a file was written into Program Files"

echo "== the program starts with the session on request"
run_key='HKCU\Software\Microsoft\Windows\CurrentVersion\Run'
said=$(wine "$program_dir/pelvaro.exe" --autostart on | tr -d '\r')
[ "$said" = "Pelvaro startet mit der Sitzung: ${run_key/HKCU/HKEY_CURRENT_USER}, Wert „Pelvaro“ geschrieben." ] ||
    fail "--autostart on said: $said"
wine reg query "$run_key" /v Pelvaro | grep -qF '"C:\Program Files\Pelvaro\pelvaro.exe"' ||
    fail "no Run value with the program in quotes and backslashes"

echo "== a silent uninstall leaves the user's files"
wine "$program_dir/Deinstallieren.exe" /S
wineserver --wait
wait_for 30 test ! -e "$program_dir" || fail "Program Files\\Pelvaro is still there"
# Removed before the files, so it is gone by now.
if wine reg query "$run_key" /v Pelvaro >/dev/null 2>&1; then fail "the Run value stayed"; fi
[ ! -e "$start_menu/Pelvaro.lnk" ] || fail "the Start-menu entry is still there"
[ -f "$app_data/db_Personal.sqlite" ] || fail "the user's database went with the program"
echo "installer test passed"
