#!/usr/bin/env bash
# Fails when a tracked C++ file differs from what the committed .clang-format makes of it.
set -euo pipefail
cd "$(dirname "$0")/.."
files=$(git ls-files '*.c' '*.cc' '*.cpp' '*.h' '*.hpp')
if ! clang-format --dry-run -Werror $files; then
    echo "Some files are not formatted: run clang-format -i on them." >&2
    exit 1
fi
echo "Formatting: every C++ file matches .clang-format."
