#!/usr/bin/env bash
# pelvaro-read.exe --database with the zip's libpq.dll against a PostgreSQL
# server of the Linux side: TLS checked against the test's CA file named by
# a Windows path, the password from the file that PGPASSFILE names. A card
# that psql adds to the shared table reaches db_Personal.sqlite beside the
# program and is printed as its personnel number.
# ctest passes POSTGRES_SERVER besides what rig.sh takes.
# shellcheck source=rig.sh
source "$(dirname "$0")/rig.sh"

# The server lives while its standard input is open; finish ends it.
mkfifo "$work/postgres.in"
"$POSTGRES_SERVER" <"$work/postgres.in" >"$work/postgres.out" 2>"$work/postgres.log" &
children+=($!)
exec 8>"$work/postgres.in"
await "the PostgreSQL server" 60 grep -q '^ca ' "$work/postgres.out"
server() { sed -n "s/^$1 //p" "$work/postgres.out"; }
address="127.0.0.1:$(server port)/pelvaro?sslmode=verify-full&sslrootcert"

plug_reader reader
PGPASSFILE=$(windows_path "$(server pgpass)") start_windows "$work/numbers.log" \
    "$app/pelvaro-read.exe" --port "$PORT" --template "{pnr}" \
    --database "postgresql://pelvaro@$address=$(windows_path "$(server ca)")"
await "pelvaro-read holding the reader" 30 line_held
await "pelvaro-read at the server" 30 grep -q "Personalnummern-Server verbunden" "$work/wine-errors.log"

# The table is there once pelvaro-read has made it.
add_card() {
    PGPASSFILE=$(server pgpass) psql -X -q -v ON_ERROR_STOP=1 -d "postgresql://postgres@$address=$(server ca)" \
        -c "INSERT INTO pelvaro_personnel (cardcode, persnum, changed_by) VALUES ('123456789A', '4711', 'psql')" \
        2>>"$work/psql.log"
}
await "the card added with psql" 30 add_card
cached() {
    [ "$(sqlite3 "$app/db_Personal.sqlite" \
        "SELECT PersNum FROM t_card_personal WHERE Cardcode = '123456789A'" 2>/dev/null)" = 4711 ]
}
await "the card in the cache beside the program" 10 cached
hold 1
printed() { [ "$(tr -d '\r' <"$work/numbers.log")" = 4711 ]; }
await "the personnel number printed" 20 printed
