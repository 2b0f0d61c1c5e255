#!/usr/bin/env bash
# Installs what is missing, builds, and starts the recorder with the given arguments; with Qt 6
# when EYEBLINK_QT_MAJOR=6.
set -euo pipefail
cd "$(dirname "$0")"
scripts/install-deps.sh build
scripts/build.sh
exec "$(scripts/build-dir.sh)/app/eyeblink-recorder" "$@"
