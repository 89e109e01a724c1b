#!/usr/bin/env bash
# The whole test suite: the Release build (unit, C interface, packaging,
# examples), the AddressSanitizer+UndefinedBehaviorSanitizer build (every
# test and the fuzz smoke runs) and the ThreadSanitizer build (the threaded
# tests).
set -uo pipefail
cd "$(dirname "$0")/.."
scripts/setup.sh || exit 1
jobs=$(nproc)
export ASAN_OPTIONS=detect_leaks=1:abort_on_error=1:strict_string_checks=1
export UBSAN_OPTIONS=print_stacktrace=1:halt_on_error=1
export TSAN_OPTIONS=halt_on_error=1:second_deadlock_stack=1

source scripts/progress.sh
# Every test's temporary files go to one folder, emptied after each build's
# run (naming what a test left behind) and removed at the end.
TMPDIR=$(mktemp -d "${TMPDIR:-/tmp}/qrvsuite.XXXXXX") || exit 1
export TMPDIR
trap 'rm -rf "$TMPDIR"' EXIT

passed=0 failed=0 status=0
build() {  # build <dir> <cmake args...>
  local dir=build/$1; shift
  phase "configure and build $dir"
  local log; log=$(mktemp)
  if ! cmake -S . -B "$dir" -G Ninja "$@" >"$log" 2>&1; then
    grep -E -A8 'Error|error' "$log" | head -n 60; rm -f "$log"; return 1
  fi
  rm -f "$log"
  build_with_progress "$dir" -j "$jobs" || return 1
  phase_done
}
run() {  # run <dir> <ctest args...>
  local dir=build/$1; shift
  phase "ctest $dir${*:+ $*}"
  local log; log=$(mktemp)
  (cd "$dir" && ctest -j "$jobs" --output-on-failure --timeout 300 "$@") | tee "$log" | progress_filter
  local rc=${PIPESTATUS[0]}
  local total fail
  total=$(sed -n 's/.*tests failed out of \([0-9]*\).*/\1/p' "$log" | tail -n 1)
  fail=$(sed -n 's/.* \([0-9]*\) tests failed out of.*/\1/p' "$log" | tail -n 1)
  rm -f "$log"
  local left; left=$(ls -A "$TMPDIR")
  if [ -n "$left" ]; then
    echo "   left behind in TMPDIR by $dir's tests: $(echo $left)"
    rm -rf "${TMPDIR:?}"/* "${TMPDIR:?}"/.[!.]* 2>/dev/null
  fi
  phase_done
  if [ -z "$total" ]; then echo "no test summary from $dir"; status=1; return; fi
  passed=$((passed + total - fail)); failed=$((failed + fail))
  [ "$rc" -eq 0 ] || status=1
}

build release -DCMAKE_BUILD_TYPE=Release -DQRV_BUILD_BENCH=ON || status=1
run release
build asan -DCMAKE_BUILD_TYPE=RelWithDebInfo -DCMAKE_C_COMPILER=clang -DCMAKE_CXX_COMPILER=clang++ \
      -DQRV_SANITIZE=address,undefined -DQRV_BUILD_FUZZ=ON || status=1
run asan
build tsan -DCMAKE_BUILD_TYPE=RelWithDebInfo -DCMAKE_C_COMPILER=clang -DCMAKE_CXX_COMPILER=clang++ \
      -DQRV_SANITIZE=thread -DQRV_TESTS_THREADED_ONLY=ON -DQRV_BUILD_EXAMPLES=OFF || status=1
run tsan -L threaded

echo "   whole run: $SECONDS s"
echo "total: $passed passed, $failed failed"
[ "$failed" -eq 0 ] || status=1
exit $status
