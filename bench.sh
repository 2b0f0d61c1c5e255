#!/usr/bin/env bash
# Builds in Release and prints the recorder's benchmark table: the video library's writer (cv)
# against the FFmpeg one (ffmpeg), about five minutes. Arguments go to the benchmark
# (--help lists them); the recorder's debug messages go to build-bench/bench.log.
set -euo pipefail
cd "$(dirname "$0")"
scripts/install-deps.sh test
cmake -S . -B build-bench -DCMAKE_BUILD_TYPE=Release >/dev/null
cmake --build build-bench --parallel "$(nproc)" --target recorder_bench >/dev/null
cpu=$(sed -n 's/^model name[[:space:]]*: //p' /proc/cpuinfo | head -n 1)
memory=$(awk '/^MemTotal/ { printf "%.0f GB", $2 / 1048576 }' /proc/meminfo)
echo "Machine: ${cpu:-unknown CPU}, $(nproc) cores, ${memory}, $(uname -sr)"
build-bench/bench/recorder_bench "$@" 2>build-bench/bench.log
