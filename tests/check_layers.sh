#!/usr/bin/env bash
# The layering check: each folder of the library is one floor and includes
# and calls only its own floor and the floors below it. Checks the folders'
# own includes ("base/space.h"), the public headers they include (each
# belongs to the lowest floor that may use it), and every call of an
# exported function against the floor that defines it.
#   tests/check_layers.sh           check; exit 1 on any upward step
#   tests/check_layers.sh --counts  also print the includes between folders
set -uo pipefail
cd "$(dirname "$0")/.."

# Bottom to top. tools/ holds the installed programs, built on everything.
floors=(text os base num fmt io config net codeset time msg startup conn frame bin tools translate)
declare -A floor_of
for i in "${!floors[@]}"; do floor_of[${floors[$i]}]=$i; done

# A public header's floor: the lowest floor that may include it (its types
# are needed there); calls into its families are checked one by one below.
declare -A header_floor=(
  [qrvdefs.h]=text [msstr.h]=text [mstables.h]=text [msos.h]=os
  [mserror.h]=base [mssp.h]=base [msthread.h]=base [mstask.h]=base [msconn.h]=base [msbasic.h]=base
  [mscv.h]=num [msfmt.h]=num [msfio.h]=io [mssio.h]=io [mstmp.h]=io
  [msvars.h]=config [msversion.h]=config [msnethost.h]=net [mscs.h]=codeset [mstime.h]=time [msnlsmsg.h]=msg
  [msgust.h]=startup [msbin.h]=bin)

sources=()
for f in "${floors[@]}"; do
  [ -d "$f" ] && while IFS= read -r s; do sources+=("$s"); done < <(find "$f" -name '*.cpp' -o -name '*.h' | sort)
done

# Exported functions and the floor of the file that defines each.
declare -A defined_in
while IFS=: read -r file name; do
  defined_in[$name]=${file%%/*}
done < <(grep -oE '^(extern "C" )?QRV_API [^(=]*[^A-Za-z0-9_](ms[a-z0-9]*_[A-Za-z0-9_]+) *\(' "${sources[@]}" |
         sed -E 's/^([^:]*):.*[^A-Za-z0-9_](ms[a-z0-9]*_[A-Za-z0-9_]+) *\($/\1:\2/')

counts=0
[ "${1:-}" = "--counts" ] && counts=1
declare -A edges
bad=0
for src in "${sources[@]}"; do
  from=${src%%/*}
  level=${floor_of[$from]}
  while IFS= read -r inc; do
    to=${inc%%/*}
    if [[ "$inc" == */* ]]; then
      [ -n "${floor_of[$to]:-}" ] || continue  # a generated or tool-local header
      [ "$to" != "$from" ] && edges["$from -> $to"]=$((${edges["$from -> $to"]:-0} + 1))
      if [ "${floor_of[$to]}" -gt "$level" ]; then echo "$src includes $inc from the higher floor $to/"; bad=1; fi
    elif [ -n "${header_floor[$inc]:-}" ] && [ "${floor_of[${header_floor[$inc]}]}" -gt "$level" ]; then
      echo "$src includes $inc, a header of the higher floor ${header_floor[$inc]}/"; bad=1
    fi
  done < <(sed -nE 's/^#include "([^"]+)".*/\1/p' "$src")
  while IFS= read -r name; do
    to=${defined_in[$name]:-}
    [ -n "$to" ] || continue
    if [ "${floor_of[$to]}" -gt "$level" ]; then echo "$src calls $name, defined in the higher floor $to/"; bad=1; fi
  done < <(sed -E 's#//.*##' "$src" | grep -oE '(^|[^A-Za-z0-9_])ms[a-z0-9]*_[A-Za-z0-9_]+ *\(' |
           sed -E 's/^[^m]*//; s/ *\($//' | sort -u)
done

if [ "$counts" -eq 1 ]; then
  echo "includes between folders (floor -> lower floor: count):"
  for e in "${!edges[@]}"; do echo "  $e: ${edges[$e]}"; done | sort
fi
if [ "$bad" -ne 0 ]; then echo "layering: FAILED (floors bottom to top: ${floors[*]})"; exit 1; fi
echo "layering: ${#sources[@]} files, every include and call goes down (${floors[*]})"
