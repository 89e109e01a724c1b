#!/usr/bin/env bash
# Installs the build tree into a scratch prefix and builds a small program
# against it twice: through find_package and through pkg-config.
set -euo pipefail
build=$1 consumer=$2
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
cmake --install "$build" --prefix "$work/prefix" >/dev/null
libdir=$(ls -d "$work"/prefix/lib*/ | head -n 1)

cmake -S "$consumer" -B "$work/cm" -G Ninja -DCMAKE_PREFIX_PATH="$work/prefix" >/dev/null
cmake --build "$work/cm" >/dev/null
"$work/cm/consumer_shared"
"$work/cm/consumer_static"

export PKG_CONFIG_PATH="$libdir/pkgconfig"
cc -std=c99 -Wall -Werror "$consumer/consumer.c" $(pkg-config --cflags --libs qrvbasic) \
   -Wl,-rpath,"$libdir" -o "$work/consumer_pc"
"$work/consumer_pc"
cc -std=c99 -Wall -Werror "$consumer/consumer.c" $(pkg-config --cflags qrvbasic) \
   "$libdir/libqrvbasic.a" $(pkg-config --libs-only-other --static qrvbasic) -lpthread -ldl -o "$work/consumer_pc_static"
"$work/consumer_pc_static"
echo "installed tree works through find_package and pkg-config"
