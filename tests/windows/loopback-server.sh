#!/usr/bin/env bash
# loopback-server.sh start|stop KIND DIR [PORT]: a server of the Linux side
# for the Windows tests, on a free loopback port (or PORT, to start one again
# where it was) with TLS and the server certificate that
# make-test-certificates.sh put in DIR. KIND mqtt is Debian's mosquitto
# broker, https the tests' webhook receiver (answering 200). The port goes to
# DIR/KIND-port once the server takes connections; stop returns once the
# server is gone.
set -euo pipefail
kind=$2
dir=$3
port=${4:-}
pid_file=$dir/$kind.pid
case $1 in
start)
    rm -f "$pid_file" "$dir/$kind-port"
    case $kind in
    mqtt)
        [ -n "$port" ] ||
            port=$(python3 -c 'import socket; s = socket.socket(); s.bind(("127.0.0.1", 0)); print(s.getsockname()[1])')
        # Sessions and their queued messages outlive a stop and a start, as
        # they would a broker's restart.
        cat >"$dir/mosquitto.conf" <<CONF
listener $port 127.0.0.1
certfile $dir/server.pem
keyfile $dir/server.key
allow_anonymous true
persistence true
persistence_location $dir/
pid_file $pid_file
log_dest file $dir/mosquitto.log
CONF
        # Started as root it would turn into the user mosquitto, who may not
        # read the key; as anyone else it stays who it is.
        [ "$(id -u)" -ne 0 ] || echo "user root" >>"$dir/mosquitto.conf"
        mosquitto -c "$dir/mosquitto.conf" -d
        ;;
    https)
        # A session of its own, so that ctest does not wait for it.
        setsid python3 "$(dirname "$0")/../support/https_receiver.py" --log "$dir/https-requests" \
            --answers "$dir/https-answers.json" --cert "$dir/server.pem" --key "$dir/server.key" \
            --port "${port:-0}" </dev/null >"$dir/https.out" 2>&1 &
        echo $! >"$pid_file"
        # Python may take seconds to start on a loaded machine, and the
        # shell a moment to make its output file.
        for _ in $(seq 300); do
            port=$(head -n 1 "$dir/https.out" 2>/dev/null || true)
            [ -z "$port" ] || break
            sleep 0.1
        done
        ;;
    esac
    for _ in $(seq 50); do
        if [ -n "${port:-}" ] && (exec 3<>"/dev/tcp/127.0.0.1/$port") 2>/dev/null; then
            echo "$port" >"$dir/$kind-port"
            exit 0
        fi
        sleep 0.1
    done
    echo "the $kind server did not start" >&2
    exit 1
    ;;
stop)
    [ -f "$pid_file" ] || exit 0
    pid=$(cat "$pid_file")
    kill "$pid" 2>/dev/null || true
    for _ in $(seq 100); do
        kill -0 "$pid" 2>/dev/null || exit 0
        sleep 0.1
    done
    echo "the $kind server did not stop" >&2
    exit 1
    ;;
esac
