#!/usr/bin/env bash
# Starts or stops a private JACK server on the dummy backend for the MIDI
# tests: no sound hardware needed. Synchronous mode (-S), as in the default
# asynchronous mode scheduling jitter now and then loses or damages a fragment.
#   jack-server.sh start NAME PIDFILE   returns once the server takes clients
#   jack-server.sh stop PIDFILE
set -euo pipefail

stop_server() {
    local pid
    pid=$(cat "$1" 2>/dev/null) || return 0
    rm -f "$1"
    # Only a jackd: the number may belong to another process by now.
    [ "$(cat "/proc/$pid/comm" 2>/dev/null)" = jackd ] || return 0
    kill "$pid"
    for _ in $(seq 50); do
        kill -0 "$pid" 2>/dev/null || return 0
        sleep 0.1
    done
    kill -9 "$pid"
}

# JACK keeps a server's place among its eight until a server of the same name
# starts again, even when the first was killed (a run stopped by a time-out):
# such places, of this user's test servers, are taken back by starting and
# stopping a server of their name. A running one is left alone.
reclaim_stale_places() {
    local registry=/dev/shm/jack-shm-registry name pid
    [ -r "$registry" ] || return 0
    for name in $(grep -aoE "jack-$(id -u):a3[-A-Za-z0-9]*:" "$registry" | cut -d: -f2); do
        [ "$(jack_wait -c -s "$name" 2>/dev/null)" = "not running" ] || continue
        jackd -S -n "$name" -d dummy -r 48000 -p 256 >/dev/null 2>&1 </dev/null &
        pid=$!
        jack_wait -w -s "$name" -t 5 >/dev/null 2>&1 || true
        kill "$pid" 2>/dev/null || true
        wait "$pid" 2>/dev/null || true
    done
}

case "$1" in
start)
    stop_server "$3" # one left by an interrupted run
    reclaim_stale_places
    jackd -S -n "$2" -d dummy -r 48000 -p 256 >"$3.log" 2>&1 </dev/null &
    echo $! >"$3"
    if ! jack_wait -w -s "$2" -t 10 >/dev/null 2>&1; then
        cat "$3.log" >&2
        exit 1
    fi
    ;;
stop) stop_server "$2" ;;
*) echo "usage: jack-server.sh start NAME PIDFILE | stop PIDFILE" >&2; exit 2 ;;
esac
