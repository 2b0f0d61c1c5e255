#!/usr/bin/env bash
# Builds in Release and prints the recorder's benchmark table: the video library's writer (cv)
# against the FFmpeg one (ffmpeg), then the lab cameras' modes through the FFmpeg writer with
# their peers (the ffmpeg command line and a GStreamer pipeline), about eight minutes. Arguments go to the benchmark
# (--help lists them); the recorder's debug messages go to build-bench/bench.log. With Qt 6
# (in build-bench-qt6/) when EYEBLINK_QT_MAJOR=6.
set -euo pipefail
cd "$(dirname "$0")"
scripts/install-deps.sh test
build_dir=$(scripts/build-dir.sh)
bench_dir=${build_dir/build/build-bench}
cmake -S . -B "$bench_dir" -DCMAKE_BUILD_TYPE=Release -DEYEBLINK_QT_MAJOR="${EYEBLINK_QT_MAJOR:-5}" >/dev/null
cmake --build "$bench_dir" --parallel "$(nproc)" --target recorder_bench >/dev/null
cpu=$(sed -n 's/^model name[[:space:]]*: //p' /proc/cpuinfo | head -n 1)
memory=$(awk '/^MemTotal/ { printf "%.0f GB", $2 / 1048576 }' /proc/meminfo)
echo "Machine: ${cpu:-unknown CPU}, $(nproc) cores, ${memory}, $(uname -sr)"
# Other work on the machine shows in every figure: the load before and after says how much.
load() { cut -d ' ' -f 1-3 /proc/loadavg; }
echo "Load average before: $(load)"
"$bench_dir/bench/recorder_bench" "$@" 2>"$bench_dir/bench.log"
echo "Load average after: $(load)"
