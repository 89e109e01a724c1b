#!/usr/bin/env bash
# Sets up, builds the library and its example, and runs the example on the
# built-in defaults (no installation directory needed).
set -euo pipefail
cd "$(dirname "$0")/.."
tools/setup.sh
cmake -S . -B build/example -G Ninja -DCMAKE_BUILD_TYPE=Release -DQRV_BUILD_TESTS=OFF >/dev/null
cmake --build build/example --target hello >/dev/null
exec build/example/examples/hello
