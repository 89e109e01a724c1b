# Sourced by the scripts that build and test: progress and times of their
# phases, with the tools' own output kept in a log and shown only on failure.

# phase TITLE: starts a phase; phase_done prints how long it took.
phase() {
  phase_title=$1 phase_start=$SECONDS
  echo "== $1"
}
phase_done() {
  echo "   $phase_title: $((SECONDS - phase_start)) s"
}

# progress_filter: reads ninja or ctest output and prints "10% 20% ..." on
# one line as the steps pass; ctest's own progress lines are dropped, every
# other line (a failure's output, the summary) goes through.
progress_filter() {
  awk '
    function step(done, total,   p) {
      p = int(done * 10 / total) * 10
      if (p > shown) { printf "%s%d%%", (open ? " " : "   "), p; open = 1; shown = p; fflush() }
    }
    function newline() { if (open) { printf "\n"; open = 0 } }
    match($0, /^\[[0-9]+\/[0-9]+\]/) {
      split(substr($0, 2, RLENGTH - 2), n, "/"); step(n[1], n[2]); next
    }
    /^ *Start +[0-9]+: / { next }
    match($0, /^ *[0-9]+\/[0-9]+ Test +#[0-9]+: /) {
      split($1, n, "/"); step(n[1], n[2])
      if ($0 !~ / Passed +[0-9.]+ sec$/) { newline(); print; fflush() }
      next
    }
    { newline(); print; fflush() }
    END { newline() }'
}

# build_with_progress DIR ARGS...: cmake --build DIR ARGS with a progress
# line; on failure the errors from the log. Needs pipefail.
build_with_progress() {
  local dir=$1; shift
  local log; log=$(mktemp)
  local rc=0  # the build's status (pipefail), also under set -e
  cmake --build "$dir" "$@" 2>&1 | tee "$log" | { grep --line-buffered -E '^\[[0-9]+/[0-9]+\]' || true; } |
    progress_filter || rc=$?
  [ "$rc" -eq 0 ] || grep -E -A8 'error|FAILED' "$log" | head -n 60
  rm -f "$log"
  return "$rc"
}
