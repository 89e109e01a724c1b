#!/usr/bin/env bash
# The compile command's cost beside the compiler it runs: wall time of
#   qrvcc hello.c -o hello
# against the same compile and link typed out for cc,
#   cc -pthread -I<include> hello.c -o hello -L<lib> -Wl,-rpath,<lib> -lqrvbasic -lpthread -ldl
# the very command qrvcc runs, typed out for cc (its extra libraries
# included: the driver's own share is the difference to this one), and
# "qrvcc -echoline hello.c -o hello" (start, options file, command built and
# shown, nothing run). Runs alternate so that both see the same
# machine load; each figure is the median of N runs (default 10), of wall
# time and of CPU time (less sensitive to a loaded machine).
# Usage: bench/qrvcc_overhead.sh [ROOT [N]]   (ROOT: build/release/qrvroot)
set -euo pipefail
here=$(cd "$(dirname "$0")" && pwd)
root=$(realpath "${1:-$here/../build/release/qrvroot}")
runs=${2:-10}
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
cd "$work"
cp "$here/../tests/qrvcc/hello.c" hello.c
unset QUORVELPATH MS_C_COMPILER MSCC_EXTRASYSLIBS
lib=$root/shlib

# One run: wall time and CPU time (user + system, the compiler's children
# included) in microseconds.
measure() {
  local TIMEFORMAT='%3R %3U %3S' t
  t=$( { time "$@" >/dev/null 2>&1; } 2>&1 )
  awk '{printf "%d %d\n", $1 * 1e6, ($2 + $3) * 1e6}' <<<"$t"
}
median() {  # median <file> <column>
  cut -d' ' -f"$2" "$1" | sort -n | awk '{v[NR]=$1} END {print (NR % 2) ? v[(NR+1)/2] : int((v[NR/2] + v[NR/2+1]) / 2)}'
}

"$root/bin/qrvcc" hello.c -o hello && ./hello >/dev/null  # warm the caches, check it works
# qrvcc's own command, as the compiler receives it: recorded by a stand-in
# cc found first on PATH.
real_cc=$(command -v cc)
mkdir rec
printf '#!/bin/sh\nprintf "%%s\\0" "$@" > "%s/args"\nexec "%s" "$@"\n' "$work" "$real_cc" > rec/cc
chmod +x rec/cc
PATH=$work/rec:$PATH "$root/bin/qrvcc" hello.c -o hello
mapfile -d '' -t args <args
same=("$real_cc" "${args[@]}")
: >driver; : >bare; : >same; : >shown
for _ in $(seq "$runs"); do
  measure "$root/bin/qrvcc" hello.c -o hello >>driver
  measure cc -pthread -I"$root/include/qrvbasic" hello.c -o hello -L"$lib" -Wl,-rpath,"$lib" \
    -lqrvbasic -lpthread -ldl >>bare
  measure "${same[@]}" >>same
  measure "$root/bin/qrvcc" -echoline hello.c -o hello >>shown
done
row() {  # row <label> <file>
  printf '%-36s %8.2f ms %8.2f ms\n' "$1" "$(bc -l <<<"$(median "$2" 1)/1000")" "$(bc -l <<<"$(median "$2" 2)/1000")"
}
diff_row() {  # diff_row <label> <file> <file>
  printf '%-36s %8.2f ms %8.2f ms\n' "$1" "$(bc -l <<<"($(median "$2" 1)-$(median "$3" 1))/1000")" \
    "$(bc -l <<<"($(median "$2" 2)-$(median "$3" 2))/1000")"
}
printf '%-36s %11s %11s\n' "" "wall" "CPU"
row "qrvcc hello.c -o hello" driver
row "cc ... -lqrvbasic -lpthread -ldl" bare
diff_row "overhead (difference)" driver bare
row "cc with qrvcc's own arguments" same
diff_row "the driver's share (difference)" driver same
row "qrvcc -echoline (nothing run)" shown
echo "medians of $runs runs; load average $(cut -d' ' -f1-3 /proc/loadavg)"
