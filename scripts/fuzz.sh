#!/usr/bin/env bash
# Fuzzes the offline tool's input reading and option parsing with libFuzzer
# under ASan+UBSan, in build-fuzz/ (clang-19), for TOLVEK_FUZZ_SECONDS in all
# (180 by default; two thirds to the sound-file target). Any crash, leak,
# hang or sanitizer report fails the script; the input that caused it is kept
# in build-fuzz/crashes/ and its path printed.
set -euo pipefail
cd "$(dirname "$0")/.."
seconds=${TOLVEK_FUZZ_SECONDS:-180}
dir=build-fuzz
flags="-fsanitize=address,undefined,fuzzer-no-link -fno-sanitize-recover=undefined -fno-omit-frame-pointer"

CC=clang-19 CXX=clang++-19 cmake -S . -B "$dir" -DTOLVEK_GUI=OFF -DTOLVEK_BENCH=OFF \
  -DCMAKE_BUILD_TYPE=RelWithDebInfo "-DCMAKE_C_FLAGS=$flags" "-DCMAKE_CXX_FLAGS=$flags" >/dev/null
cmake --build "$dir" -j"$(nproc)" --target sound_file_fuzz options_fuzz

mkdir -p "$dir"/seeds/sound_file "$dir"/seeds/options "$dir"/corpus/sound_file "$dir"/corpus/options \
  "$dir"/crashes "$dir"/logs
# Seeds: sounds just over one 2048-frame block at engine rates and others,
# with one and three channels, in the sample formats WAVs commonly hold (and
# AIFF and FLAC), and a few argument lists.
for rate in 5512 8000 11025 22050 44100 48000; do
  for channels in 1 3; do
    for format in "pcm16 wav -e signed -b 16" "float wav -e floating-point -b 32" "pcm24 wav -e signed -b 24" \
      "u8 wav -e unsigned -b 8" "aiff aiff -e signed -b 16" "flac flac -b 16"; do
      read -r name type encoding <<<"$format"
      # shellcheck disable=SC2086
      sox -r "$rate" -n -r "$rate" -c "$channels" $encoding "$dir/seeds/sound_file/$name-$rate-$channels.$type" \
        synth 2100s sine 400 vol 0.5
    done
  done
done
n=0
for args in 'in.wav\nout.wav' '--band\npass\n--lower\n300\n--upper\n3000\nin.wav\nout.wav' \
  '\x01--band\nreject\n--notch1\n900\n--notch4\n2500\nin.wav\nout.wav' \
  '\x02--agc\nfast\n--input-level\n60\n--output-level\n20\n--test-noise\nin.wav\nout.wav' \
  '\x03--lms\n64\n--blanker\n50\n--comb\n60\nin.wav\nout.wav' \
  '--agc\noff\n--notch2\n1e3\n--notch3\n0x10\nin.wav\nout.wav' \
  '--channel\n2\n--engine-rate\n11025\n--out-rate\nengine\n--format\npcm24\n-\n-' \
  '\x7d--notch1\n20000\n--format\npcm16\n--level-log\nlevel.csv\n--quiet\nin.flac\nout.wav' '--help'; do
  printf '%b' "$args" >"$dir/seeds/options/args-$((n++))"
done

# Symbolised reports even without llvm-symbolizer: the sanitizers can use addr2line.
symbolizer=$(command -v llvm-symbolizer || command -v addr2line || true)
export ASAN_OPTIONS=external_symbolizer_path=$symbolizer
export UBSAN_OPTIONS=external_symbolizer_path=$symbolizer:print_stacktrace=1

# Runs target $1 for $2 seconds over its kept corpus and the fresh seeds.
fuzz() {
  local target=$1 budget=$2 log=$dir/logs/$1.log
  echo "== fuzz $target for ${budget} s"
  if ! "$dir"/tests/fuzz/"$target"_fuzz -max_total_time="$budget" -max_len=65536 -timeout=20 \
      -rss_limit_mb=2048 -print_final_stats=1 -dict=tests/fuzz/"$target".dict \
      -artifact_prefix="$dir/crashes/$target-" "$dir"/corpus/"$target" "$dir"/seeds/"$target" >"$log" 2>&1; then
    tail -n 40 "$log"
    grep -h "Test unit written to" "$log" | sed 's/.*written to /fuzz: input kept in /' || true
    echo "fuzz: $target failed (log: $log)"
    return 1
  fi
  grep -E "^#[0-9]+[[:space:]]+DONE|^stat::(number_of_executed_units|average_exec_per_sec|peak_rss_mb)" "$log"
}

fuzz sound_file $((seconds * 2 / 3))
fuzz options $((seconds - seconds * 2 / 3))
