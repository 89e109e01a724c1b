#!/usr/bin/env bash
# Long fuzz run of one target: scripts/fuzz.sh TARGET SECONDS [LIBFUZZER-FLAGS...]
# (for example -runs=10000000 to stop after that many executions).
# Builds the fuzz build (build/asan, the flags of scripts/test.sh) when the
# target is missing or stale, runs TARGET for SECONDS with one job on its
# corpus fuzz/corpus/TARGET, merges what the run found back into that
# folder (only inputs that add coverage, smallest first), and prints the
# executions and findings. Crash inputs stay in build/asan/fuzz/TARGET.findings/.
# Exit status: 0 without findings, 1 with findings, 2 on a usage or build error.
set -uo pipefail
cd "$(dirname "$0")/.."
if [ $# -lt 2 ] || ! [[ $2 =~ ^[1-9][0-9]*$ ]]; then
  echo "usage: scripts/fuzz.sh TARGET SECONDS (targets: $(cd fuzz && ls fuzz_*.cpp | sed 's/\.cpp$//' | tr '\n' ' '))" >&2
  exit 2
fi
target=$1 seconds=$2
shift 2
if [ ! -f "fuzz/$target.cpp" ]; then
  echo "fuzz.sh: no fuzz target $target (fuzz/$target.cpp)" >&2
  exit 2
fi
export ASAN_OPTIONS=${ASAN_OPTIONS:-detect_leaks=1:abort_on_error=1:strict_string_checks=1}
export UBSAN_OPTIONS=${UBSAN_OPTIONS:-print_stacktrace=1:halt_on_error=1}

dir=build/asan
if [ ! -f "$dir/build.ninja" ]; then
  echo "== configure $dir"
  cmake -S . -B "$dir" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo -DCMAKE_C_COMPILER=clang \
        -DCMAKE_CXX_COMPILER=clang++ -DQRV_SANITIZE=address,undefined -DQRV_BUILD_FUZZ=ON >/dev/null || exit 2
elif ! grep -q '^QRV_BUILD_FUZZ:BOOL=ON' "$dir/CMakeCache.txt"; then
  cmake -S . -B "$dir" -DQRV_BUILD_FUZZ=ON >/dev/null || exit 2
fi
echo "== build $target"
log=$(cmake --build "$dir" -j 1 --target "$target" 2>&1) ||
  { grep -E -A8 'error|FAILED' <<<"$log" | head -n 60; echo "fuzz.sh: $target did not build" >&2; exit 2; }

corpus=fuzz/corpus/$target
findings=$dir/fuzz/$target.findings
mkdir -p "$corpus" "$findings"
# The run's folder lives in memory (tmpfs) when the machine has one: targets
# that write files for every input run several times faster there.
base=${TMPDIR:-/tmp}
[ -d /dev/shm ] && [ -w /dev/shm ] && base=/dev/shm
work=$(mktemp -d "$base/qrvfuzz.XXXXXX")
trap 'rm -rf "$work"' EXIT
mkdir "$work/new" "$work/tmp"
before=$(ls "$findings" | wc -l)
files_before=$(ls "$corpus" | wc -l)

# New inputs go to $work/new; the tree's corpus is read, not written, while
# the run lasts. The target's own temporary files stay in $work/tmp.
echo "== fuzz $target for ${seconds}s on $corpus ($files_before files)"
start=$SECONDS
TMPDIR=$work/tmp "$dir/fuzz/$target" -max_total_time="$seconds" -timeout=10 -rss_limit_mb=2048 \
    -print_final_stats=1 -artifact_prefix="$findings/" "$@" "$work/new" "$corpus" >"$work/log" 2>&1
rc=$? elapsed=$((SECONDS - start))
grep -E '^INFO: seed corpus|^==[0-9]+==ERROR|^SUMMARY|Test unit written' "$work/log"
execs=$(sed -n 's/^stat::number_of_executed_units: *//p' "$work/log" | tail -n 1)
[ -n "$execs" ] || execs=$(grep -oE '^#[0-9]+' "$work/log" | tail -n 1 | tr -d '#')
if [ "$rc" -ne 0 ]; then
  echo "== the run stopped with status $rc; its last lines:"
  tail -n 40 "$work/log"
fi

# Merge: an input joins the tree only if it adds coverage to what the
# corpus already has; edges only (no hit counts), so the tree stays small.
TMPDIR=$work/tmp "$dir/fuzz/$target" -merge=1 -use_counters=0 -timeout=10 -rss_limit_mb=2048 \
    -artifact_prefix="$findings/" "$corpus" "$work/new" >"$work/merge.log" 2>&1 ||
  { echo "== merge failed:"; tail -n 20 "$work/merge.log"; rc=1; }

found=$(( $(ls "$findings" | wc -l) - before ))
echo "== $target: ${execs:-?} executions in ${elapsed}s, corpus $files_before -> $(ls "$corpus" | wc -l) files," \
     "$found new finding(s)$([ "$found" -gt 0 ] && echo " in $findings")"
[ "$found" -eq 0 ] && [ "$rc" -eq 0 ] && exit 0
exit 1
