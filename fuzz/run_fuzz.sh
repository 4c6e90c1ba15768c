#!/bin/sh
# Builds the settings-file fuzz target with clang and runs it for a bounded time.
# Usage: fuzz/run_fuzz.sh <seconds> [build folder]. Exits non-zero on a finding.
set -eu

seconds=${1:?usage: run_fuzz.sh <seconds> [build folder]}
here=$(cd "$(dirname "$0")" && pwd)
source_dir=$(dirname "$here")
build_dir=${2:-$source_dir/build-fuzz}

cmake -S "$source_dir" -B "$build_dir" -G Ninja \
    -DCMAKE_CXX_COMPILER=clang++-14 -DCMAKE_BUILD_TYPE=RelWithDebInfo \
    -DORNAVEX_FUZZ=ON -DORNAVEX_TESTS=OFF -DORNAVEX_BENCH=OFF >/dev/null
cmake --build "$build_dir" --target ini_reader_fuzz

# New inputs go to a scratch corpus so the checked-in seeds stay as they are.
work_corpus="$build_dir/ini_reader_corpus"
mkdir -p "$work_corpus"
cd "$build_dir/fuzz"
./ini_reader_fuzz -max_total_time="$seconds" -timeout=10 -rss_limit_mb=2048 \
    -max_len=65536 -print_final_stats=1 "$work_corpus" "$here/corpus"
