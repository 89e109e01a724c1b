#!/usr/bin/env bash
# Installs the build tree into a scratch prefix and builds a small program
# against it twice: through find_package and through pkg-config. Programs
# linked with the installed shared library find the installation directory
# (the prefix) and read its initialisation file; statically linked ones,
# far from any installation, run on the built-in defaults.
set -euo pipefail
build=$1 consumer=$2
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
cmake --install "$build" --prefix "$work/prefix" >/dev/null
prefix=$(realpath "$work/prefix")
libdir=$(ls -d "$prefix"/lib*/ | head -n 1)
libdir=${libdir%/}
for f in config/initfile.txt nls/nlsfile_utf8_en nls/translate/libmstoc.so nls/translate/libmstrans_wchar.so \
         nls/translate/libmstrans_iconv.so; do
  test -f "$prefix/$f" || { echo "no $f in the installed tree"; exit 1; }
done
sed -i 's/^QRV_CONFIG_ORIGIN=.*/QRV_CONFIG_ORIGIN=installed/' "$prefix/config/initfile.txt"

# Installed programs translate through the installed plug-ins, static ones
# through the translators built into the library.
expect() {  # expect <program> <installation> <origin>
  local out; out=$(env -u QUORVELPATH -u QUORVELPATH_FROM_ENV -u MSENVFILE "$1")
  local want; want=$(printf 'installation: %s %s\ntranslation: ok' "$2" "$3")
  [ "$out" = "$want" ] || { echo "$1: '$out', expected '$want'"; exit 1; }
}

# Both routes exactly as the README gives them, with this prefix for
# /opt/quorvel: nothing beyond those lines (no loader path, no rpath of our own).
unset PKG_CONFIG_PATH LD_LIBRARY_PATH CMAKE_PREFIX_PATH
cmake -S "$consumer" -B "$work/cm" -G Ninja -DCMAKE_PREFIX_PATH="$prefix" >/dev/null
cmake --build "$work/cm" >/dev/null
expect "$work/cm/consumer_shared" "$prefix" installed
expect "$work/cm/consumer_static" "<INMEM>" built-in

export PKG_CONFIG_PATH="$libdir/pkgconfig"
cc "$consumer/consumer.c" $(pkg-config --cflags --libs qrvbasic) -o "$work/consumer_pc"
expect "$work/consumer_pc" "$prefix" installed
cc -std=c99 -Wall -Werror "$consumer/consumer.c" $(pkg-config --cflags qrvbasic) \
   "$libdir/libqrvbasic.a" $(pkg-config --libs-only-other --static qrvbasic) -lpthread -ldl -o "$work/consumer_pc_static"
expect "$work/consumer_pc_static" "<INMEM>" built-in

# An installation named by QUORVELPATH wins over the library's folder.
mkdir -p "$work/other/config"
echo "QRV_CONFIG_ORIGIN=other" > "$work/other/config/initfile.txt"
out=$(env QUORVELPATH="$work/other" "$work/consumer_pc")
# It has no translators: translation fails there rather than reaching elsewhere.
want=$(printf 'installation: %s other\ntranslation: failed' "$work/other")
[ "$out" = "$want" ] || { echo "QUORVELPATH: '$out'"; exit 1; }
echo "installed tree works through find_package and pkg-config and is found as the installation directory"
