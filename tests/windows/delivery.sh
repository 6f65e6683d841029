#!/usr/bin/env bash
# pelvaro-read.exe delivering to the webhook receiver and the MQTT broker of
# the Linux side, both over TLS with the test's CA file, which no Windows
# store knows: cards read while both are down stay in the outbox, a second
# process on that outbox is refused, the process killed with cards waiting
# and started again delivers them all, in order, once the servers are back;
# a webhook that cuts the connection or asks to wait gets the card later.
# ctest passes CERTIFICATES besides what rig.sh takes.
# shellcheck source=rig.sh
source "$(dirname "$0")/rig.sh"

servers=$work/servers
mkdir "$servers"
cp "$CERTIFICATES"/*.pem "$CERTIFICATES"/*.key "$servers"
server() { bash "$(dirname "$0")/loopback-server.sh" "$@"; }
stop_servers() { server stop https "$servers" && server stop mqtt "$servers"; }
# finish takes the test's status from $?.
trap 'status=$?; set +e; stop_servers; (exit "$status"); finish' EXIT

# Each server once, for its port; the broker keeps a subscriber's session
# while it is down, so that no message finds it missing.
topic=pelvaro/wine
subscriber=(mosquitto_sub -h localhost --cafile "$servers/ca.pem" -q 1 -c -i pelvaro-wine-test -t "$topic")
server start https "$servers"
server start mqtt "$servers"
https_port=$(cat "$servers/https-port")
mqtt_port=$(cat "$servers/mqtt-port")
"${subscriber[@]}" -p "$mqtt_port" -E
stop_servers

reader=(
    "$app/pelvaro-read.exe" --port "$PORT" --outbox "$(windows_path "$work/outbox.sqlite")"
    --ca-file "$(windows_path "$servers/ca.pem")" --deliver "https://localhost:$https_port/reads"
    --deliver "mqtts://localhost:$mqtt_port/$topic"
)
plug_reader reader
speed=$(stty -F "$device" speed)
start_windows "$work/first.log" "${reader[@]}"
await "pelvaro-read holding the reader" 30 line_held
hold 1
hold 2
lines() { [ "$(grep -c . "$1")" -eq "$2" ]; }
await "two cards printed while the servers are down" 20 lines "$work/first.log" 2

if "$WINE_RUN" "${reader[@]}" >/dev/null 2>"$work/second.log"; then
    echo "FAILED: a second pelvaro-read took the same outbox" >&2
    exit 1
fi
grep -q "wird schon von einem anderen laufenden Pelvaro versandt" "$work/second.log" ||
    { echo "FAILED: the second pelvaro-read did not say why it ends" >&2 && exit 1; }

# The Windows process ends at once, as when it is killed; the line stays as
# it left it, so it is set back for the next one to show it has the reader.
kill -KILL "${children[-1]}"
wait "${children[-1]}" || true
stty -F "$device" "$speed"
start_windows "$work/second-run.log" "${reader[@]}"
await "pelvaro-read holding the reader again" 30 line_held
hold 3
await "a third card printed" 20 lines "$work/second-run.log" 1
server start https "$servers" "$https_port"
server start mqtt "$servers" "$mqtt_port"
"${subscriber[@]}" -p "$mqtt_port" >"$work/mqtt.log" 2>>"$work/wine-errors.log" &
children+=($!)

# The codes of the events FILE holds (the receiver's requests or the
# subscriber's messages), each id once, in the order of first arrival; fails
# when one id came with two codes.
delivered() {
    python3 - "$1" <<'PY'
import json, sys
codes = {}
for line in open(sys.argv[1], encoding="utf-8"):
    if not line.endswith("\n"):
        break
    record = json.loads(line)
    events = json.loads(record["body"]) if "body" in record else record
    for event in events if isinstance(events, list) else [events]:
        if codes.setdefault(event["id"], event["code"]) != event["code"]:
            sys.exit("the id " + event["id"] + " with two codes")
print("\n".join(codes.values()))
PY
}
everything_at() { [ "$(delivered "$1")" = "$(tr -d '\r' <"$work/expected.log")" ]; }
all_delivered() {
    cat "$work/first.log" "$work/second-run.log" >"$work/expected.log"
    await "every card read at the webhook receiver" 60 everything_at "$servers/https-requests"
    await "every card read at the broker's subscriber" 60 everything_at "$work/mqtt.log"
}
all_delivered
# And a card read while both are there.
hold 4
await "a fourth card printed" 20 lines "$work/second-run.log" 2
all_delivered

# The webhook's connection cut after the request, then a 429 and a 500: each
# is tried again soon, through Windows' own TLS too, not taken for a fault
# of the settings, which would pause delivery for minutes.
printf '%s' '{"generation": 1, "script": [{"action": "cut"},
    {"status": 429, "headers": {"Retry-After": "1"}}, {"status": 500}]}' >"$servers/answers.new"
mv "$servers/answers.new" "$servers/https-answers.json"
requests=$(wc -l <"$servers/https-requests")
hold 5
await "a fifth card printed" 20 lines "$work/second-run.log" 3
all_delivered
received_since() { [ "$(wc -l <"$servers/https-requests")" -ge $((requests + $1)) ]; }
await "the fifth card sent again after each of the three" 30 received_since 4
