#!/usr/bin/env bash
# Sets up, builds the library and its example programs, and runs the errors
# example on the built-in defaults (no installation directory needed) in
# each language given (default: C fr_FR.UTF-8 ja_JP.UTF-8 zh_CN.UTF-8).
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/setup.sh
source scripts/progress.sh
phase "configure and build build/example (the library, errors and hello)"
cmake -S . -B build/example -G Ninja -DCMAKE_BUILD_TYPE=Release -DQRV_BUILD_TESTS=OFF >/dev/null
build_with_progress build/example --target errors hello
phase_done
[ $# -gt 0 ] || set -- C fr_FR.UTF-8 ja_JP.UTF-8 zh_CN.UTF-8
for lang in "$@"; do
  echo "\$ LANG=$lang ./errors"
  env -u MSLANG LANG="$lang" build/example/examples/errors 2>&1
done
