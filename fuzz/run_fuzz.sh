#!/bin/sh
# Builds the fuzz targets with clang and runs each for a bounded time: the
# settings-file reader, the scanner worker's messages as the window reads them,
# and the folder worker's messages as either side reads them.
# Usage: fuzz/run_fuzz.sh <seconds per target> [build folder]. Exits non-zero on a finding.
set -eu

seconds=${1:?usage: run_fuzz.sh <seconds per target> [build folder]}
here=$(cd "$(dirname "$0")" && pwd)
source_dir=$(dirname "$here")
build_dir=${2:-$source_dir/build-fuzz}

cmake -S "$source_dir" -B "$build_dir" -G Ninja \
    -DCMAKE_CXX_COMPILER=clang++-14 -DCMAKE_BUILD_TYPE=RelWithDebInfo \
    -DORNAVEX_FUZZ=ON -DORNAVEX_TESTS=OFF -DORNAVEX_BENCH=OFF >/dev/null
cmake --build "$build_dir" --target ini_reader_fuzz scanner_protocol_fuzz folder_protocol_fuzz

# New inputs go to scratch corpora so the checked-in seeds stay as they are.
cd "$build_dir/fuzz"
mkdir -p ini_reader_corpus scanner_protocol_corpus folder_protocol_corpus
./ini_reader_fuzz -max_total_time="$seconds" -timeout=10 -rss_limit_mb=2048 \
    -max_len=65536 -print_final_stats=1 ini_reader_corpus "$here/corpus"
./scanner_protocol_fuzz -max_total_time="$seconds" -timeout=10 -rss_limit_mb=2048 \
    -max_len=65536 -print_final_stats=1 scanner_protocol_corpus
./folder_protocol_fuzz -max_total_time="$seconds" -timeout=10 -rss_limit_mb=2048 \
    -max_len=65536 -print_final_stats=1 folder_protocol_corpus
