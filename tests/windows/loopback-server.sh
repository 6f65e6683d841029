#!/usr/bin/env bash
# mqtt-broker.sh start|stop DIR: Debian's mosquitto broker for the Windows
# tests, a Linux process on a free loopback port with TLS, its certificate from
# make-test-certificates.sh in DIR; the port goes to DIR/mqtt-port.
set -euo pipefail
dir=$2
case $1 in
start)
    port=$(python3 -c 'import socket; s = socket.socket(); s.bind(("127.0.0.1", 0)); print(s.getsockname()[1])')
    cat >"$dir/mosquitto.conf" <<CONF
listener $port 127.0.0.1
certfile $dir/server.pem
keyfile $dir/server.key
allow_anonymous true
persistence false
pid_file $dir/mosquitto.pid
log_dest file $dir/mosquitto.log
CONF
    # Started as root it would turn into the user mosquitto, who may not read
    # the key; as anyone else it stays who it is.
    [ "$(id -u)" -ne 0 ] || echo "user root" >>"$dir/mosquitto.conf"
    rm -f "$dir/mosquitto.pid" "$dir/mqtt-port"
    mosquitto -c "$dir/mosquitto.conf" -d
    for _ in $(seq 50); do
        (exec 3<>"/dev/tcp/127.0.0.1/$port") 2>/dev/null && { echo "$port" >"$dir/mqtt-port"; exit 0; }
        sleep 0.1
    done
    echo "the broker did not start: $(cat "$dir/mosquitto.log" 2>/dev/null)" >&2
    exit 1
    ;;
stop)
    [ ! -f "$dir/mosquitto.pid" ] || kill "$(cat "$dir/mosquitto.pid")" 2>/dev/null || true
    ;;
esac
