#!/usr/bin/env bash
# End to end: the program records on the virtual sound device and is killed
# with SIGKILL. The file it leaves must open in libsndfile and in sox, hold
# whole blocks of the sound, and lack at most the last second before the kill
# (the header is brought up to date about once a second).
#   killed_while_recording.sh PROGRAM
# Exits 77 (skipped) when the device or X cannot start here, unless CI is set.
set -euo pipefail
program=$1
repo=$(cd "$(dirname "$0")/../.." && pwd)
work=$(mktemp -d)
trap '"$repo/scripts/virtual-audio/device.sh" stop "$work/dev" >/dev/null 2>&1 || true; rm -rf "$work"' EXIT
cd "$work"
rate=22050 seconds=6
skip() { echo "$1"; [ -n "${CI:-}" ] && exit 1; exit 77; }

sox -n -r $rate -c 2 feed.wav synth 60 sine 700 vol 0.25
"$repo/scripts/virtual-audio/device.sh" start dev $rate --feed feed.wav --owner $$ >device.log 2>&1 ||
  { cat device.log; skip "the virtual sound device did not start"; }

# Under Xvfb, without a window manager: the window sits unframed at the top
# left, and File > "Open wave file for output" is its menu's first item.
cat >record.sh <<'RUN'
set -euo pipefail
set -a; . dev/env; set +a
export XDG_RUNTIME_DIR=$PWD/xdg QT_QPA_PLATFORM=xcb
mkdir -p -m700 "$XDG_RUNTIME_DIR" recordings
(cd recordings && exec "$1") >program.log 2>&1 &
pid=$!
xdotool search --sync --onlyvisible --name "Tolvek Filter" >/dev/null
sleep 1
xdotool mousemove 15 9 click 1 sleep 0.5 key Down Return
for _ in $(seq 100); do compgen -G "recordings/Wave Capture *.wav" >/dev/null && break; sleep 0.05; done
start=$(date +%s.%N)
sleep "$2"
kill -KILL $pid
echo "$start $(date +%s.%N)" >times
RUN
timeout 60 xvfb-run -a -s "-screen 0 1000x620x24" bash record.sh "$program" $seconds ||
  { cat program.log; skip "the program could not be run and recorded under Xvfb"; }

files=(recordings/Wave\ Capture\ *.wav)
[ ${#files[@]} -eq 1 ] && [ -f "${files[0]}" ] || { echo "expected one recording: ${files[*]}"; exit 1; }
file=${files[0]}
read -r start end <times
recorded=$(echo "($end - $start) * $rate" | bc)
libsndfile=$(sndfile-info "$file" | sed -n 's/^Frames *: *//p')
sox_frames=$(soxi -s "$file")
rms=$(sox "$file" -n stat 2>&1 | sed -n 's/^RMS *amplitude: *//p')
echo "recorded for $recorded frames; libsndfile reads $libsndfile frames, sox $sox_frames, RMS $rms"
fail() { echo "FAIL: $1"; exit 1; }
[ "$libsndfile" = "$sox_frames" ] || fail "libsndfile and sox disagree"
[ $((sox_frames % 2048)) -eq 0 ] || fail "not whole blocks"
[ "$(echo "$sox_frames >= $recorded - 1.3 * $rate && $sox_frames <= $recorded + 0.3 * $rate" | bc)" = 1 ] ||
  fail "more than the last second is missing, or more is there than was recorded"
sndfile-convert "$file" copy.wav && sox "$file" -n 2>/dev/null || fail "the file does not read to its end"
[ "$(echo "$rms > 0.05" | bc)" = 1 ] || fail "the sound is not in the file"
echo PASS
