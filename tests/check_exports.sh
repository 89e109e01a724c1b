#!/usr/bin/env bash
# The shared library exports only the library's family names.
set -euo pipefail
lib=$1
families='ms[a-z0-9]*_|ghc$|ghcmutex$|win32_'
bad=$(nm -D --defined-only "$lib" | awk '{print $3}' | grep -v -E "^($families)" || true)
count=$(nm -D --defined-only "$lib" | wc -l)
if [ -n "$bad" ]; then
  echo "unexpected exported symbols:"; echo "$bad"; exit 1
fi
soname=$(readelf -d "$lib" | sed -n 's/.*Library soname: \[\(.*\)\]/\1/p')
[ "$soname" = "libqrvbasic.so.10" ] || { echo "unexpected SONAME '$soname'"; exit 1; }
echo "$count exported symbols, all in the library's families; SONAME $soname"
