#!/usr/bin/env bash
# The compile command's cost beside the compiler it runs: wall time of
#   qrvcc hello.c -o hello
# against the same compile and link typed out for cc,
#   cc -pthread -I<include> hello.c -o hello -L<lib> -Wl,-rpath,<lib> -lqrvbasic -lpthread -ldl
# the very command qrvcc runs, typed out for cc (its extra libraries
# included: the driver's own share is the difference to this one), and
# "qrvcc -echoline hello.c -o hello" (start, options file, command built and
# shown, nothing run). Runs alternate so that both see the same
# machine load; each figure is the median of N runs (default 10).
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

elapsed_us() {  # runs the command, prints its wall time in microseconds
  local start=$EPOCHREALTIME
  "$@" >/dev/null
  local end=$EPOCHREALTIME
  echo $(( (${end/./} - ${start/./}) ))
}
median() { sort -n | awk '{v[NR]=$1} END {print (NR % 2) ? v[(NR+1)/2] : int((v[NR/2] + v[NR/2+1]) / 2)}'; }

"$root/bin/qrvcc" hello.c -o hello && ./hello >/dev/null  # warm the caches, check it works
# qrvcc's own command: its shown line, unquoted (no argument has a blank).
mapfile -t same < <("$root/bin/qrvcc" -listlines hello.c -o hello)
: >driver; : >bare; : >same; : >shown
for _ in $(seq "$runs"); do
  elapsed_us "$root/bin/qrvcc" hello.c -o hello >>driver
  elapsed_us cc -pthread -I"$root/include/qrvbasic" hello.c -o hello -L"$lib" -Wl,-rpath,"$lib" \
    -lqrvbasic -lpthread -ldl >>bare
  elapsed_us "${same[@]}" >>same
  elapsed_us "$root/bin/qrvcc" -echoline hello.c -o hello >>shown
done
d=$(median <driver) b=$(median <bare) c=$(median <same) s=$(median <shown)
printf 'qrvcc hello.c -o hello            %8.2f ms\n' "$(bc -l <<<"$d/1000")"
printf 'cc ... -lqrvbasic -lpthread -ldl  %8.2f ms\n' "$(bc -l <<<"$b/1000")"
printf 'overhead (difference)             %8.2f ms\n' "$(bc -l <<<"($d-$b)/1000")"
printf 'cc with qrvcc'"'"'s own arguments       %8.2f ms\n' "$(bc -l <<<"$c/1000")"
printf 'the driver'"'"'s share (difference)    %8.2f ms\n' "$(bc -l <<<"($d-$c)/1000")"
printf 'qrvcc -echoline (nothing run)     %8.2f ms\n' "$(bc -l <<<"$s/1000")"
echo "medians of $runs runs; load average $(cut -d' ' -f1-3 /proc/loadavg)"
