#!/usr/bin/env bash
# A virtual sound card for machines without one: a JACK server with the dummy
# driver, and an ALSA configuration whose default PCM is that server, so that
# PortAudio's default input and output devices work.
#
#   device.sh start DIR RATE [--feed WAV] [--record OUT.wav SECONDS] [--any-rate] [--owner PID]
#   device.sh wait DIR [TIMEOUT]
#   device.sh stop DIR
#
# start runs everything in the background and writes DIR/env, lines of
# NAME=VALUE to export before starting the program. The default input plays
# WAV (converted to RATE and stereo when it is not already), else silence;
# the default output is recorded to OUT.wav for SECONDS from start-up, else
# discarded. The program's stream must run at RATE, or at any rate with
# --any-rate, where ALSA converts (and samples are no longer exact). With
# --owner, everything is also stopped once process PID has gone, however it
# ended. Up to eight devices can run at once, each with its own server name.
#
# wait returns once the recording is complete, or fails after TIMEOUT seconds.
#
# stop kills what start started, even half-way; DIR/*.log keep their output.
set -euo pipefail

usage() { sed -n '6,8p' "$0" >&2; exit 2; }

# Whether a process still runs; a zombie does not, and where nobody reaps
# orphans it may stay one.
running() { [ -r "/proc/$1/stat" ] && [ "$(sed 's/.*) //' "/proc/$1/stat" | cut -c1)" != Z ]; }

stop_device() {
    local dir=$1 pid
    [ -f "$dir/pids" ] || return 0
    # The watchdog and the clients first, the server last, each waited for:
    # a server that has to be killed keeps its entry in JACK's registry of
    # servers until one of the same name starts again.
    for pid in $(tac "$dir/pids"); do
        [ "$pid" = "$$" ] && continue  # the watchdog stopping its own device
        kill "$pid" 2>/dev/null || true
        for _ in $(seq 100); do running "$pid" || break; sleep 0.1; done
        kill -9 "$pid" 2>/dev/null || true
    done
    rm -f "$dir/pids"
}

# Picks a free server name from a small fixed set and holds its lock on
# descriptor 9, which every process started afterwards inherits; the name is
# free again once they have all ended. Reusing names lets JACK reclaim the
# registry entry of a server that did not shut down cleanly; with fresh
# names such entries pile up until no server can start.
claim_server_name() {
    local locks=/tmp/tolvek-jack-$(id -u) n
    mkdir -p "$locks"
    for n in 0 1 2 3 4 5 6 7; do
        exec 9>>"$locks/$n.lock"
        if flock -n 9; then
            JACK_DEFAULT_SERVER=tolvek-$n
            return 0
        fi
        exec 9>&-
    done
    echo "device.sh: eight virtual devices are running already" >&2
    return 1
}

wait_for_recording() {
    local dir=$1 timeout=${2:-3600} pid
    pid=$(cat "$dir/recorder.pid")
    for _ in $(seq $((timeout * 10))); do
        running "$pid" || return 0
        sleep 0.1
    done
    echo "device.sh: the recording has not finished" >&2
    return 1
}

wait_for_port() {
    local port=$1
    for _ in $(seq 100); do
        jack_lsp 2>/dev/null | grep -qx "$port" && return 0
        sleep 0.1
    done
    echo "device.sh: port $port did not appear" >&2
    return 1
}

start_device() {
    local dir=$1 rate=$2
    shift 2
    local feed="" record="" seconds="" owner="" anyRate=""
    while [ $# -gt 0 ]; do
        case $1 in
            --feed) feed=$2; shift 2 ;;
            --record) record=$2; seconds=$3; shift 3 ;;
            --owner) owner=$2; shift 2 ;;
            --any-rate) anyRate=1; shift ;;
            *) usage ;;
        esac
    done
    mkdir -p "$dir"
    dir=$(cd "$dir" && pwd)
    : >"$dir/pids"
    rm -f "$dir/asound.conf" "$dir/recorder.pid"
    trap 'stop_device "$dir"' EXIT  # undone unless start completes

    claim_server_name
    export JACK_DEFAULT_SERVER JACK_NO_AUDIO_RESERVATION=1 JACK_NO_START_SERVER=1

    # A period of 46 ms at every rate: short enough for clients to activate
    # quickly at 5512 Hz, long enough to ride out a busy machine without
    # real-time scheduling.
    local period=$(( rate >= 44100 ? 2048 : rate >= 22050 ? 1024 : rate >= 11025 ? 512 : 256 ))
    jackd --no-realtime -n "$JACK_DEFAULT_SERVER" -d dummy -r "$rate" -p "$period" -C 2 -P 2 \
        </dev/null >"$dir/jackd.log" 2>&1 &
    echo $! >>"$dir/pids"
    jack_wait -w -t 10 >>"$dir/jackd.log" 2>&1

    local capture="system:capture_1 system:capture_2"
    local playback="system:playback_1 system:playback_2"
    if [ -n "$feed" ]; then
        if [ "$(soxi -r "$feed" 2>/dev/null)" != "$rate" ] || [ "$(soxi -c "$feed" 2>/dev/null)" != 2 ]; then
            sox "$feed" -r "$rate" -c 2 -e float -b 32 "$dir/feed.wav"
            feed=$dir/feed.wav
        fi
        # Conversion 3 (zero-order hold) leaves samples exact at ratio 1.
        jack-play -u -n feeder -c 3 -b 8192 "$feed" </dev/null >"$dir/feeder.log" 2>&1 &
        echo $! >>"$dir/pids"
        wait_for_port feeder:out_2
        capture="feeder:out_1 feeder:out_2"
    fi
    if [ -n "$record" ]; then
        # 32-bit samples are exact; the recorder's own inputs are the silent
        # dummy capture ports, and the default PCM's output is added to them.
        jack_rec -f "$record" -d "$seconds" -b 32 system:capture_1 system:capture_2 \
            </dev/null >"$dir/recorder.log" 2>&1 &
        echo $! >>"$dir/pids"
        echo $! >"$dir/recorder.pid"
        wait_for_port jackrec:input2
        playback="jackrec:input1 jackrec:input2"
    fi

    set -- $capture
    local c1=$1 c2=$2
    set -- $playback
    local jackPcm=default
    if [ -n "$anyRate" ]; then
        jackPcm=tolvek_jack
        echo "pcm.!default { type plug slave.pcm $jackPcm }" >"$dir/asound.conf"
    fi
    cat >>"$dir/asound.conf" <<EOF
pcm.!$jackPcm {
    type jack
    playback_ports { 0 $1 1 $2 }
    capture_ports { 0 $c1 1 $c2 }
}
EOF
    cat >"$dir/env" <<EOF
ALSA_CONFIG_PATH=/usr/share/alsa/alsa.conf:$dir/asound.conf
JACK_DEFAULT_SERVER=$JACK_DEFAULT_SERVER
JACK_NO_AUDIO_RESERVATION=1
JACK_NO_START_SERVER=1
EOF

    if [ -n "$owner" ]; then
        export -f running
        setsid bash -c 'while running "$1"; do sleep 0.5; done; exec "$2" stop "$3"' \
            watchdog "$owner" "$(readlink -f "$0")" "$dir" </dev/null >/dev/null 2>&1 &
        echo $! >>"$dir/pids"
    fi
    trap - EXIT
}

case ${1:-} in
    start) [ $# -ge 3 ] || usage; shift; start_device "$@" ;;
    wait) [ $# -ge 2 ] || usage; wait_for_recording "$2" "${3:-}" ;;
    stop) [ $# -eq 2 ] || usage; stop_device "$2" ;;
    *) usage ;;
esac
