#!/usr/bin/env bash
# Start-up luck, measured: the live stream test started again and again on
# each sound server's virtual device, each start checked for a lost,
# repeated or flagged block over SECONDS of a tone.
#
#   scripts/live-starts.sh [STARTS] [SECONDS] [SERVER...]
#
# Defaults: 20 starts of 10 s at 22050 and 44100 Hz on jack, pipewire,
# pipewire-jack and pulse (about 45 minutes). Needs a build in build/.
# Prints one line per server and rate, and fails if any start was not clean.
set -uo pipefail
cd "$(dirname "$0")/.."
starts=${1:-20}
seconds=${2:-10}
shift 2 2>/dev/null || shift $#
servers=("$@")
[ ${#servers[@]} -gt 0 ] || servers=(jack pipewire pipewire-jack pulse)
test=build/tests/live/live_stream_test
[ -x "$test" ] || { echo "build first: scripts/build.sh" >&2; exit 2; }

failed=0
for server in "${servers[@]}"; do
    env=(TOLVEK_SOUND_SERVER="$server" TOLVEK_LIVE_SECONDS="$seconds")
    [ "$server" = pipewire-jack ] && env+=(LD_LIBRARY_PATH=/usr/lib/x86_64-linux-gnu/pipewire-0.3/jack)
    for rate in 22050 44100; do
        clean=0
        for _ in $(seq "$starts"); do
            if env "${env[@]}" "$test" --gtest_filter="*/${rate}Hz" >/dev/null 2>&1; then
                clean=$((clean + 1))
            fi
        done
        echo "$server $rate Hz: $clean of $starts starts clean over $seconds s"
        [ "$clean" -eq "$starts" ] || failed=1
    done
done
exit $failed
