#!/usr/bin/env bash
# Configures (once) and builds the project incrementally in Release: with Qt 5 in build/, or
# with Qt 6 in build-qt6/ when EYEBLINK_QT_MAJOR=6.
set -euo pipefail
cd "$(dirname "$0")/.."
build_dir=$(scripts/build-dir.sh)
cmake -S . -B "$build_dir" -DCMAKE_BUILD_TYPE=Release -DEYEBLINK_QT_MAJOR="${EYEBLINK_QT_MAJOR:-5}" >/dev/null
cmake --build "$build_dir" --parallel "$(nproc)"
