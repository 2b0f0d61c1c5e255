#!/usr/bin/env bash
# Installs what is missing, builds, and runs the whole test suite: with Qt 5 in build/, or with
# Qt 6 in build-qt6/ when the first argument is --qt6 (or EYEBLINK_QT_MAJOR=6). The other
# arguments go to ctest.
set -euo pipefail
cd "$(dirname "$0")"
if [ "${1:-}" = --qt6 ]; then
    export EYEBLINK_QT_MAJOR=6
    shift
fi
scripts/install-deps.sh test
scripts/build.sh
cd "$(scripts/build-dir.sh)"
ctest --output-on-failure --timeout 300 "$@"
