#!/usr/bin/env bash
# Sets up, builds the library and its example programs, and runs the errors
# example on the built-in defaults (no installation directory needed) in
# each language given (default: C fr_FR.UTF-8 ja_JP.UTF-8 zh_CN.UTF-8); then
# builds the hello example with the product's compile command qrvcc from the
# build tree's own installation and runs it.
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/setup.sh
source scripts/progress.sh
phase "configure and build build/example (the library, errors, hello and qrvcc)"
cmake -S . -B build/example -G Ninja -DCMAKE_BUILD_TYPE=Release -DQRV_BUILD_TESTS=OFF >/dev/null
build_with_progress build/example --target errors hello qrvcc
phase_done
[ $# -gt 0 ] || set -- C fr_FR.UTF-8 ja_JP.UTF-8 zh_CN.UTF-8
for lang in "$@"; do
  echo "\$ LANG=$lang ./errors"
  env -u MSLANG LANG="$lang" build/example/examples/errors 2>&1
done
echo "\$ qrvcc examples/hello.c -o hello && ./hello"
build/example/qrvroot/bin/qrvcc examples/hello.c -o build/example/hello_qrvcc
env -u QUORVELPATH build/example/hello_qrvcc
