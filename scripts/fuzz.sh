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
cmake --build "$dir" -j"$(nproc)" --target sound_file_fuzz options_fuzz write_seeds

mkdir -p "$dir"/seeds/sound_file "$dir"/seeds/options "$dir"/corpus/sound_file "$dir"/corpus/options \
  "$dir"/crashes "$dir"/logs
ASAN_OPTIONS=detect_leaks=0 "$dir"/tests/fuzz/write_seeds "$dir"/seeds/sound_file "$dir"/seeds/options

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
