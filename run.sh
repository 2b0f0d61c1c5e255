#!/usr/bin/env bash
# Installs what is missing, builds, and starts the recorder with the given arguments.
set -euo pipefail
cd "$(dirname "$0")"
scripts/install-deps.sh build
scripts/build.sh
exec build/app/eyeblink-recorder "$@"
