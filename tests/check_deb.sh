#!/usr/bin/env bash
# The Debian packages: made by cpack from the install rules, each holding
# its component's files, extracted (not installed) into a scratch root, and
# a program built and run with the extracted qrvcc, the installation named
# by QUORVELPATH since it does not lie at /opt/qrvbasic.
set -euo pipefail
build=$(realpath "$1") sources=$(realpath "$2")
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
cd "$work"
fail() { echo "FAIL: $*"; exit 1; }
unset QUORVELPATH_FROM_ENV MSENVFILE MS_C_COMPILER MS_XTARGET MSCC_EXTRASYSLIBS MSCC_USE_TESTOPTIONS

cpack --config "$build/CPackConfig.cmake" -G DEB -B "$work/out" >/dev/null || fail "cpack"
runtime=$(ls out/qrvbasic_*_amd64.deb) dev=$(ls out/qrvbasic-dev_*_amd64.deb)
# What each package holds: the runtime nothing to build with, the
# development package nothing that runs a program.
has() {  # has <deb> <path under /opt/qrvbasic> <yes|no>
  local listed=no files
  files=$(dpkg-deb -c "$1" | awk '{print $6}')
  grep -qx "./opt/qrvbasic/$2" <<<"$files" && listed=yes
  [ "$listed" = "$3" ] || fail "$(basename "$1"): $2 listed: $listed"
}
for p in lib/libqrvbasic.so.10 config/options config/initfile.txt nls/nlsfile_utf8_en nls/translate/libmstoc.so \
         shlib common/lib rdbms/lib/ rdbms/exec/ config/xcfg/; do
  has "$runtime" "$p" yes; has "$dev" "$p" no
done
for p in include/qrvbasic/msbasic.h lib/libqrvbasic.a lib/libqrvbasic.so lib/pkgconfig/qrvbasic.pc \
         lib/cmake/qrvbasic/qrvbasicConfig.cmake bin/qrvcc bin/qrvar bin/qrvnlsc; do
  has "$dev" "$p" yes; has "$runtime" "$p" no
done
case $(dpkg-deb -f "$dev" Depends) in "qrvbasic (= "*) ;; *) fail "qrvbasic-dev does not depend on qrvbasic" ;; esac

dpkg -x "$runtime" root && dpkg -x "$dev" root
installation=$work/root/opt/qrvbasic
QUORVELPATH=$installation "$installation/bin/qrvcc" "$sources/hello.c" -o hello || fail "qrvcc from the packages"
out=$(QUORVELPATH=$installation ./hello)
[ "$out" = "hello from $installation" ] || fail "hello printed '$out'"
case $(ldd ./hello) in *"$installation/shlib/libqrvbasic.so.10"*) ;; *) fail "hello does not use the packaged library" ;; esac
echo "qrvbasic and qrvbasic-dev packages hold their components; a program builds and runs from them"
