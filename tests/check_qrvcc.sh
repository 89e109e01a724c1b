#!/usr/bin/env bash
# The build tools' commands as a user runs them: qrvcc and qrvar from the
# build tree's installation (qrvroot) and from an installed prefix; the
# installed layout (also under DESTDIR); shown commands; usage errors; an
# archive round trip through the real ar; names with a space and a '$'.
set -euo pipefail
build=$(realpath "$1") sources=$(realpath "$2")
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
cd "$work"
fail() { echo "FAIL: $*"; exit 1; }
same() { [ "$1" = "$2" ] || fail "$3: got '$1', expected '$2'"; }
unset QUORVELPATH QUORVELPATH_FROM_ENV MSENVFILE MS_C_COMPILER MS_XTARGET MSCC_EXTRASYSLIBS MSCC_USE_TESTOPTIONS

# Builds hello.c and app.cpp with the qrvcc of root; hello names the
# installation its library found.
builds() {  # builds <root> <installation hello reports>
  local cc=$1/bin/qrvcc
  rm -f hello app
  "$cc" "$sources/hello.c" -o hello || fail "$cc hello.c"
  same "$(./hello)" "hello from $2" "$cc: hello"
  "$cc" -c++ "$sources/app.cpp" -o app || fail "$cc -c++ app.cpp"
  same "$(./app)" "hello from C++" "$cc: app"
}

# From the build tree: the library of the build, far from any
# installation, runs on the built-in store. QUORVELPATH empty counts as unset.
root=$build/qrvroot
builds "$root" "<INMEM>"
QUORVELPATH= "$root/bin/qrvcc" "$sources/hello.c" -o hello2 || fail "QUORVELPATH empty"

# A static link, of a program that runs the driver itself.
"$root/bin/qrvcc" -static "$sources/show.c" -o show 2>/dev/null || fail "qrvcc -static"
case $(./show -echoline x.c | sed -n 1p) in 'cc "-pthread" '*'"x.c"'*) ;; *) fail "static show" ;; esac
case $(ldd ./show 2>&1) in *"not a dynamic executable"*) ;; *) fail "show is not static" ;; esac

# Shown, not run: the command line, nothing built, status 0.
rm -f hello
line=$("$root/bin/qrvcc" -echoline "$sources/hello.c" -o hello)
[ ! -e hello ] || fail "-echoline built the program"
case $line in
  "cc \"-pthread\" \"-I$root/include/qrvbasic\""*"\"$sources/hello.c\" \"-o\" \"hello\""*"\"-lqrvbasic\""*) ;;
  *) fail "-echoline printed '$line'" ;;
esac

# Usage errors: a non-zero exit and the message's text.
usage() {  # usage <expected exit> <expected text> <command...>
  local want=$1 text=$2; shift 2
  local rc=0 err
  err=$("$@" 2>&1 >/dev/null) || rc=$?
  [ "$rc" -eq "$want" ] || fail "$*: exit $rc, expected $want"
  case $err in *"$text"*) ;; *) fail "$*: said '$err', expected '$text'" ;; esac
}
usage 1 "qrvcc: wrong number of arguments" "$root/bin/qrvcc"
usage 1 "qrvcc: wrong number of arguments" "$root/bin/qrvcc" -echoline
usage 1 "qrvcc: option '-c_compiler' must be followed by a compiler command" "$root/bin/qrvcc" -c_compiler
usage 1 "qrvcc: command 'cc' ended with a nonzero exit status" "$root/bin/qrvcc" missing.c -o missing
usage 2 "qrvar: wrong number of arguments" "$root/bin/qrvar"
usage 2 "qrvar: wrong number of arguments" "$root/bin/qrvar" -echo a
usage 2 "qrvar: wrong number of arguments" "$root/bin/qrvar" -ranlib
usage 2 "qrvar: option 'x' is not recognized" "$root/bin/qrvar" x lib.a
usage 2 "qrvar: option 'ae' is not recognized" "$root/bin/qrvar" ae lib.a
usage 1 "qrvar: 'missing.a' does not exist" "$root/bin/qrvar" -ranlib missing.a
help=$("$root/bin/qrvcc" -help) || fail "qrvcc -help"
case $help in "usage: qrvcc "*) ;; *) fail "qrvcc -help printed '$help'" ;; esac
help=$("$root/bin/qrvar" -help) || fail "qrvar -help"
case $help in "usage: qrvar "*) ;; *) fail "qrvar -help printed '$help'" ;; esac

# Names with a space and a '$' pass untouched (commands never go through a
# shell): a program, and two archive members added and extracted.
mkdir 'sp ace'
cp "$sources/hello.c" 'sp ace/he $llo.c'
"$root/bin/qrvcc" 'sp ace/he $llo.c' -o 'sp ace/he $llo' || fail "qrvcc with a space and a '\$'"
same "$('./sp ace/he $llo')" "hello from <INMEM>" "he \$llo"
printf 'int one(void) { return 1; }\n' > one.c
printf 'int two(void) { return 2; }\n' > 'tw $o.c'
cc -c one.c -o one.o && cc -c 'tw $o.c' -o 'tw $o.o'
shown=$("$root/bin/qrvar" -echo a 'my $lib.a' one.o 'tw $o.o' | sed -n 1p)
same "$shown" 'ar "q" "my $lib.a" "one.o" "tw $o.o"' "qrvar -echo"
[ ! -e 'my $lib.a' ] || fail "qrvar -echo made the archive"
"$root/bin/qrvar" a 'my $lib.a' one.o 'tw $o.o' 2>/dev/null || fail "qrvar a"
same "$(ar t 'my $lib.a' | tr '\n' ' ')" 'one.o tw $o.o ' "members"
case $(nm -s 'my $lib.a') in *"Archive index:"*) ;; *) fail "qrvar a left no index" ;; esac
mkdir out && (cd out && "$root/bin/qrvar" e '../my $lib.a') || fail "qrvar e"
cmp one.o out/one.o && cmp 'tw $o.o' 'out/tw $o.o' || fail "extracted members differ"

# Installed: the layout, and the commands with the installed library.
cmake --install "$build" --prefix "$work/prefix" >/dev/null
prefix=$(realpath "$work/prefix")
for d in rdbms/lib rdbms/exec config/xcfg; do
  [ -d "$prefix/$d" ] && [ -z "$(ls -A "$prefix/$d")" ] || fail "no empty $d"
done
same "$(readlink "$prefix/shlib")" lib "shlib"
same "$(readlink "$prefix/common/lib")" ../lib "common/lib"
[ -f "$prefix/shlib/libqrvbasic.so" ] && [ -f "$prefix/common/lib/libqrvbasic.a" ] || fail "links lead nowhere"
cmp "$prefix/config/options" "$sources/../../data/config/options" || fail "config/options"
builds "$prefix" "$prefix"
# The links are made under DESTDIR, relative, as packaging needs them.
DESTDIR=$work/stage cmake --install "$build" --prefix /opt/q >/dev/null
same "$(readlink "$work/stage/opt/q/shlib")" lib "DESTDIR shlib"
same "$(readlink "$work/stage/opt/q/common/lib")" ../lib "DESTDIR common/lib"
echo "qrvcc and qrvar build, show and archive from the build tree and from an installed prefix"
