#!/usr/bin/env bash
# Fails when a C++ source of the tree differs from the committed .clang-format. The argument is
# the clang-format to use (Debian 12's is version 14).
set -euo pipefail
cd "$(dirname "$0")/.."
clang_format=${1:-clang-format}
git ls-files -- '*.h' '*.cpp' | xargs "$clang_format" --dry-run -Werror
echo "Every source keeps the committed format."
