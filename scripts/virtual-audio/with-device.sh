#!/usr/bin/env bash
# Runs a command with a virtual sound card as PortAudio's default devices.
#
#   with-device.sh RATE [--feed WAV] [--record OUT.wav SECONDS] [--any-rate] -- COMMAND [ARG...]
#
# The default input plays WAV (silence without --feed); the default output
# is recorded to OUT.wav for SECONDS counted from start-up (discarded without
# --record). The command's stream must run at RATE, unless --any-rate lets
# ALSA convert. After the command ends, the recording is waited for, then the
# device is stopped; the exit status is the command's.
set -euo pipefail

here=$(cd "$(dirname "$0")" && pwd)
[ $# -ge 3 ] || { sed -n '4p' "$0" >&2; exit 2; }
rate=$1
shift
options=()
while [ $# -gt 0 ] && [ "$1" != -- ]; do
    options+=("$1")
    shift
done
[ "${1:-}" = -- ] && [ $# -ge 2 ] || { sed -n '4p' "$0" >&2; exit 2; }
shift

dir=$(mktemp -d /tmp/tolvek-device-XXXXXX)
status=0
cleanup() {
    "$here/device.sh" stop "$dir"
    if [ "$status" -eq 0 ]; then rm -rf "$dir"; else echo "virtual device logs kept in $dir" >&2; fi
}
trap cleanup EXIT
"$here/device.sh" start "$dir" "$rate" "${options[@]}" --owner $$ || { status=$?; exit $status; }
set -a
. "$dir/env"
set +a

"$@" || status=$?
[ -f "$dir/recorder.pid" ] && "$here/device.sh" wait "$dir"
exit $status
