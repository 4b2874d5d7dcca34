#!/usr/bin/env bash
# Remakes docs/screenshot.png and docs/chart-recorder.png: the program under
# Xvfb, fed two tones (one fading in and out), a little mains hum and pink
# noise through the virtual sound device; the main window 14 s after start,
# then, with AGC off, the chart recorder 30 s after it is opened from the
# Tools menu.
# Needs a build in build/ (scripts/build.sh) and xdotool.
set -euo pipefail
repo=$(cd "$(dirname "$0")/.." && pwd)
work=$(mktemp -d)
trap '"$repo/scripts/virtual-audio/device.sh" stop "$work/dev"; rm -rf "$work"' EXIT
cd "$work"

sox -n -r 22050 -c 1 t1.wav synth 90 sine 700 tremolo 0.1 90 vol 0.25
sox -n -r 22050 -c 1 t2.wav synth 90 sine 1850 vol 0.12
sox -n -r 22050 -c 1 hum.wav synth 90 sine 50 vol 0.05
sox -n -r 22050 -c 1 noise.wav synth 90 pinknoise vol 0.08
sox -m t1.wav t2.wav hum.wav noise.wav -c 2 feed.wav
"$repo/scripts/virtual-audio/device.sh" start dev 22050 --feed feed.wav --owner $$

cat >shoot.sh <<SHOT
#!/usr/bin/env bash
set -a; . "$work/dev/env"; set +a
export XDG_RUNTIME_DIR="$work/xdg"; mkdir -p -m700 "\$XDG_RUNTIME_DIR"
"${BUILD:-$repo/build}/app/tolvek-filter" >"$work/program.log" 2>&1 &
pid=\$!
sleep 14
import -window root "$work/shot.png"
xdotool mousemove 468 530 click 1  # AGC off, so the chart shows the fading tone
xdotool mousemove 59 9 click 1  # the Tools menu
sleep 1
xdotool key Down Down Down Down Return  # Chart recorder
sleep 30
import -window root "$work/chart.png"
kill \$pid; wait \$pid || true
SHOT
chmod +x shoot.sh
xvfb-run -a -s "-screen 0 1000x620x24" ./shoot.sh
# No window manager under Xvfb: the window sits at the top-left corner, unframed.
convert shot.png -crop 990x585+0+0 +repage "$repo/docs/screenshot.png"
convert chart.png -crop 702x341+9+29 +repage "$repo/docs/chart-recorder.png"
