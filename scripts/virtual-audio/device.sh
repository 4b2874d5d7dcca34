#!/usr/bin/env bash
# A virtual sound card for machines without one, on one of the sound servers
# Linux desktops run, and an ALSA configuration whose default PCM is that
# server, so that PortAudio's default input and output devices work:
#   jack      a JACK server with the dummy driver (samples exact)
#   pipewire  PipeWire with WirePlumber, two null sinks, its graph at the
#             stock 48 kHz, reached through PipeWire's ALSA plugin
#   pipewire-jack  the same PipeWire, reached through ALSA's jack plugin and
#             PipeWire's JACK library
#   pulse     PulseAudio with two null sinks, through ALSA's pulse plugin
# The server is --server NAME, else $TOLVEK_SOUND_SERVER, else jack.
#
#   device.sh start DIR RATE [--server NAME] [--feed WAV] [--record OUT.wav SECONDS] [--any-rate] [--owner PID]
#   device.sh wait DIR [TIMEOUT]
#   device.sh stop DIR
#
# start runs everything in the background and writes DIR/env, lines of
# NAME=VALUE to export before starting the program. The default input plays
# WAV (converted to RATE and stereo when it is not already), else silence;
# the default output is recorded to OUT.wav for SECONDS from start-up, else
# discarded. On jack the program's stream must run at RATE, or at any rate
# with --any-rate, where ALSA converts (and samples are no longer exact); the
# other servers take every rate and resample to their own. With
# --owner, everything is also stopped once process PID has gone, however it
# ended. Up to eight devices can run at once, each with its own server name.
#
# wait returns once the recording is complete, or fails after TIMEOUT seconds.
#
# stop kills what start started, even half-way; DIR/*.log keep their output.
set -euo pipefail

usage() { sed -n '14,16p' "$0" >&2; exit 2; }

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

start_jack() {
    claim_server_name
    export JACK_DEFAULT_SERVER JACK_NO_AUDIO_RESERVATION=1 JACK_NO_START_SERVER=1

    # A period of 46 ms at every rate: short enough for clients to activate
    # quickly at 5512 Hz, long enough to ride out a busy machine without
    # real-time scheduling.
    local period=$(( rate >= 44100 ? 2048 : rate >= 22050 ? 1024 : rate >= 11025 ? 512 : 256 ))
    # --port-max: libjack locks the server's whole port segment into every
    # client, 105 MB at the default of 2048 ports and 41 MB at 128, which is
    # plenty for the program, the feeder and the recorder.
    jackd --no-realtime -n "$JACK_DEFAULT_SERVER" --port-max 128 -d dummy -r "$rate" -p "$period" -C 2 -P 2 \
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
    jack_pcm "$capture" "$playback"
    echo "JACK_DEFAULT_SERVER=$JACK_DEFAULT_SERVER" >>"$dir/env"
}

# The ALSA default as a jack PCM wired to the given capture and playback
# ports, behind a rate-converting plug with --any-rate.
jack_pcm() {
    set -- $1 $2
    local jackPcm=default
    if [ -n "$anyRate" ]; then
        jackPcm=tolvek_jack
        echo "pcm.!default { type plug slave.pcm $jackPcm }" >>"$dir/asound.conf"
    fi
    cat >>"$dir/asound.conf" <<CONF
pcm.!$jackPcm {
    type jack
    playback_ports { 0 "$3" 1 "$4" }
    capture_ports { 0 "$1" 1 "$2" }
}
CONF
    echo "JACK_NO_AUDIO_RESERVATION=1" >>"$dir/env"
}

# Polls COMMAND until it succeeds, for up to 10 s.
await() {
    for _ in $(seq 100); do "$@" >/dev/null 2>&1 && return 0; sleep 0.1; done
    echo "device.sh: timed out waiting for: $*" >&2
    return 1
}

# PipeWire's ALSA plugin, unpacked privately from Debian's pipewire-alsa
# package: installing that package would redirect every ALSA program on the
# machine, and it conflicts with pulseaudio.
pipewire_alsa_plugin() {
    local cache=/tmp/tolvek-pipewire-alsa-$(id -u) lib=usr/lib/x86_64-linux-gnu/alsa-lib
    if [ ! -f "$cache/$lib/libasound_module_pcm_pipewire.so" ]; then
        mkdir -p "$cache"
        local deb
        deb=$(ls /tmp/pipewire-alsa_*.deb 2>/dev/null | head -1) || true
        if [ -z "$deb" ]; then
            (cd "$cache" && apt-get download pipewire-alsa >/dev/null)
            deb=$(ls "$cache"/pipewire-alsa_*.deb | head -1)
        fi
        dpkg-deb -x "$deb" "$cache"
    fi
    echo "$cache/$lib"
}

# A private session bus and runtime folder, PipeWire with two null sinks
# ("feed", whose monitor is the default input, and "out", the default
# output), then WirePlumber to link streams to the defaults.
start_pipewire() {
    export XDG_RUNTIME_DIR=$dir/run XDG_CONFIG_HOME=$dir/config XDG_STATE_HOME=$dir/state XDG_CACHE_HOME=$dir/cache
    mkdir -p "$XDG_RUNTIME_DIR" "$XDG_CONFIG_HOME/pipewire/pipewire.conf.d" "$XDG_STATE_HOME" "$XDG_CACHE_HOME"
    chmod 700 "$XDG_RUNTIME_DIR"
    export DBUS_SESSION_BUS_ADDRESS=unix:path=$XDG_RUNTIME_DIR/bus
    dbus-daemon --session --address="$DBUS_SESSION_BUS_ADDRESS" --nofork </dev/null >"$dir/dbus.log" 2>&1 &
    echo $! >>"$dir/pids"
    local sink objects=""
    for sink in feed out; do
        objects+="{ factory = adapter args = { factory.name = support.null-audio-sink node.name = \"$sink\"
    media.class = \"Audio/Sink\" audio.position = [ FL FR ] monitor.channel-volumes = false object.linger = true } }
"
    done
    echo "context.objects = [ $objects]" >"$XDG_CONFIG_HOME/pipewire/pipewire.conf.d/tolvek.conf"
    pipewire </dev/null >"$dir/pipewire.log" 2>&1 &
    echo $! >>"$dir/pids"
    await sh -c 'pw-cli ls Node | grep -q "node.name = \"out\""'
    # The defaults as a user's earlier choice, which WirePlumber restores.
    mkdir -p "$XDG_STATE_HOME/wireplumber"
    printf '%s\n' "[default-nodes]" "default.configured.audio.sink=out" "default.configured.audio.source=feed" \
        >"$XDG_STATE_HOME/wireplumber/default-nodes"
    wireplumber </dev/null >"$dir/wireplumber.log" 2>&1 &
    echo $! >>"$dir/pids"
    await sh -c 'pw-metadata 0 default.audio.source | grep -q feed'
    await sh -c 'pw-metadata 0 default.audio.sink | grep -q out'
    if [ -n "$feed" ]; then
        pw-play --target feed "$feed" </dev/null >"$dir/feeder.log" 2>&1 &
        echo $! >>"$dir/pids"
    fi
    if [ -n "$record" ]; then
        # Records the output sink's monitor, unlinked until linked by hand.
        timeout -s INT "$seconds" pw-record --target 0 -P '{ node.name = "rec" }' --rate "$rate" --channels 2 \
            --format f32 "$record" </dev/null >"$dir/recorder.log" 2>&1 &
        echo $! >>"$dir/pids"
        echo $! >"$dir/recorder.pid"
        await pw-link out:monitor_FL rec:input_FL
        await pw-link out:monitor_FR rec:input_FR
    fi
    if [ "$server" = pipewire-jack ]; then
        anyRate=1  # the graph runs at 48 kHz, the stream at its own rate
        jack_pcm "feed:monitor_FL feed:monitor_FR" "out:playback_FL out:playback_FR"
        echo "LD_LIBRARY_PATH=/usr/lib/x86_64-linux-gnu/pipewire-0.3/jack" >>"$dir/env"
    else
        local plugin
        plugin=$(pipewire_alsa_plugin)
        cat >"$dir/asound.conf" <<CONF
pcm_type.pipewire { lib "$plugin/libasound_module_pcm_pipewire.so" }
ctl_type.pipewire { lib "$plugin/libasound_module_ctl_pipewire.so" }
pcm.!default { type pipewire playback_node "-1" capture_node "-1" }
ctl.!default { type pipewire }
CONF
    fi
    printf '%s\n' "XDG_RUNTIME_DIR=$XDG_RUNTIME_DIR" "DBUS_SESSION_BUS_ADDRESS=$DBUS_SESSION_BUS_ADDRESS" >>"$dir/env"
}

# PulseAudio with two null sinks, "feed" (its monitor the default input) and
# "out" (the default output), on a private socket.
start_pulse() {
    export XDG_RUNTIME_DIR=$dir/run HOME=$dir
    mkdir -p "$XDG_RUNTIME_DIR"
    chmod 700 "$XDG_RUNTIME_DIR"
    export PULSE_SERVER=unix:$XDG_RUNTIME_DIR/pulse.socket
    cat >"$dir/pulse.pa" <<CONF
load-module module-native-protocol-unix auth-anonymous=1 socket=$XDG_RUNTIME_DIR/pulse.socket
load-module module-null-sink sink_name=feed format=float32le channels=2 norewinds=1
load-module module-null-sink sink_name=out format=float32le channels=2 norewinds=1
set-default-sink out
set-default-source feed.monitor
CONF
    pulseaudio -n -F "$dir/pulse.pa" --daemonize=no --exit-idle-time=-1 --disable-shm=yes </dev/null \
        >"$dir/pulse.log" 2>&1 &
    echo $! >>"$dir/pids"
    await pactl info
    if [ -n "$feed" ]; then
        paplay -d feed "$feed" </dev/null >"$dir/feeder.log" 2>&1 &
        echo $! >>"$dir/pids"
    fi
    if [ -n "$record" ]; then
        timeout -s INT "$seconds" parecord -d out.monitor --rate="$rate" --channels=2 --format=float32le \
            --file-format=wav "$record" </dev/null >"$dir/recorder.log" 2>&1 &
        echo $! >>"$dir/pids"
        echo $! >"$dir/recorder.pid"
    fi
    printf '%s\n' "pcm.!default { type pulse }" "ctl.!default { type pulse }" >"$dir/asound.conf"
    printf '%s\n' "PULSE_SERVER=$PULSE_SERVER" "XDG_RUNTIME_DIR=$XDG_RUNTIME_DIR" >>"$dir/env"
}

start_device() {
    local dir=$1 rate=$2
    shift 2
    local feed="" record="" seconds="" owner="" anyRate="" server=${TOLVEK_SOUND_SERVER:-jack}
    while [ $# -gt 0 ]; do
        case $1 in
            --server) server=$2; shift 2 ;;
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
    : >"$dir/env"
    trap "stop_device '$dir'" EXIT  # undone unless start completes

    case $server in
        jack) start_jack ;;
        pipewire | pipewire-jack) start_pipewire ;;
        pulse) start_pulse ;;
        *) echo "device.sh: unknown sound server $server" >&2; exit 2 ;;
    esac
    # PortAudio's JACK host API must not start a server of its own.
    printf '%s\n' "ALSA_CONFIG_PATH=/usr/share/alsa/alsa.conf:$dir/asound.conf" "JACK_NO_START_SERVER=1" \
        "TOLVEK_SOUND_SERVER=$server" >>"$dir/env"

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
