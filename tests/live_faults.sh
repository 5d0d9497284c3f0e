#!/usr/bin/env bash
# Live runs under faults: names that no sample file can ever take end the
# monitor's wait with an error naming them, a file left that cannot be read
# is reported by the writers and never replaced, and corvane-feed refuses a
# folder. Unreadable files are made by a preloaded open() that refuses a
# name with EACCES (root reads every file whatever its mode); Linux with a C
# compiler for those cases.
set -euo pipefail
build=$(cd "$1" && pwd)
src=$(cd "$2" && pwd)
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
fail() { echo "live_faults: $*" >&2; exit 1; }
cd "$work"
cp "$src/examples/table.txt" .
settings() {  # $1: dat
  printf '[file]\ndat = %s\ntable = table.txt\n[frequency]\nsr = 22050\n[stations]\n6731m\n' "$1"
}
# Runs a program that must end within 20 s with the given status and say $3.
ends() {  # $1: status, $2: what, $3: text expected on standard error, $4...: command
  local want=$1 what=$2 text=$3 status=0
  shift 3
  timeout 20 "$@" </dev/null >out.txt 2>err.txt || status=$?
  [ "$status" -ne 124 ] || fail "$what: still waiting after 20 s"
  [ "$status" -eq "$want" ] || { cat out.txt err.txt >&2; fail "$what: status $status, not $want"; }
  grep -qF -- "$text" err.txt || { cat err.txt >&2; fail "$what: no \"$text\" on standard error"; }
}

mkdir audio.dat
settings audio.dat > live.ini
ends 3 "the live name is a folder" '"audio.dat": the name is a directory' "$build/corvane" live.ini
ends 3 "corvane-feed onto a folder" 'audio.dat' "$build/corvane-feed" --live audio.dat
[ -d audio.dat ] || fail "the folder was replaced"
rmdir audio.dat
settings nowhere/audio.dat > missing.ini
ends 2 "the live folder is missing" 'nowhere/audio.dat' "$build/corvane" missing.ini

cc=$(command -v cc || command -v gcc || true)
if [ -z "$cc" ] || [ "$(uname -s)" != Linux ]; then
  echo "live_faults: ok (unreadable files need Linux and a C compiler: skipped)"
  exit 0
fi
cat > deny.c <<'C'
#define _GNU_SOURCE
#include <dlfcn.h>
#include <errno.h>
#include <fcntl.h>
#include <stdarg.h>
#include <stdlib.h>
#include <string.h>

/* open() of a path ending in DENY_NAME fails with EACCES after DENY_AFTER
   successful ones. */
static int opened;

static int denied(const char* path) {
    const char* t = getenv("DENY_NAME");
    size_t n = strlen(path), m = t ? strlen(t) : 0;
    if (!t || m == 0 || n < m || strcmp(path + n - m, t) != 0) return 0;
    return opened++ >= atoi(getenv("DENY_AFTER") ? getenv("DENY_AFTER") : "0");
}

static int openwith(const char* name, const char* path, int flags, va_list args) {
    int (*real)(const char*, int, ...) = (int (*)(const char*, int, ...))dlsym(RTLD_NEXT, name);
    mode_t mode = (flags & O_CREAT) ? (mode_t)va_arg(args, int) : 0;
    if (denied(path)) {
        errno = EACCES;
        return -1;
    }
    return real(path, flags, mode);
}

int open(const char* path, int flags, ...) {
    va_list a;
    va_start(a, flags);
    int fd = openwith("open", path, flags, a);
    va_end(a);
    return fd;
}

int open64(const char* path, int flags, ...) {
    va_list a;
    va_start(a, flags);
    int fd = openwith("open64", path, flags, a);
    va_end(a);
    return fd;
}
C
"$cc" -shared -fPIC -o deny.so deny.c -ldl || fail "cannot build the preload library"
export ASAN_OPTIONS="${ASAN_OPTIONS:+$ASAN_OPTIONS:}verify_asan_link_order=0"

# The monitor reads three files, then may not read the fourth: it ends with
# error 3 naming the file and leaves it.
DENY_NAME=audio.dat DENY_AFTER=3 LD_PRELOAD="$work/deny.so" \
  timeout 60 "$build/corvane" live.ini </dev/null >monitor.txt 2>monitor.err &
monitor=$!
for n in 1 2 3 4; do
  head -c $((4000 * n)) /dev/zero > audio.part
  mv audio.part audio.dat
  [ "$n" -eq 4 ] && break
  for _ in $(seq 1 200); do [ -e audio.dat ] || break; sleep 0.05; done
  [ ! -e audio.dat ] || fail "file $n was not consumed"
done
status=0
wait "$monitor" || status=$?
[ "$status" -eq 3 ] || { cat monitor.err >&2; fail "the monitor ended with $status, not 3"; }
grep -qF '"audio.dat"' monitor.err || { cat monitor.err >&2; fail "the monitor did not name the file"; }
# The simulator, which cannot read the file left either, says so instead of
# taking it for gone and replacing it.
ends 3 "a writer facing an unreadable file" 'cannot be read' \
  env DENY_NAME=/audio.dat LD_PRELOAD="$work/deny.so" "$build/corvane-sim" --table table.txt --stations 6731M \
  --lat 52 --lon 5 --rate 22050 --duration 1 --file-frames 5000 --live "$work/audio.dat" --quiet
[ "$(stat -c %s audio.dat)" -eq 16000 ] || fail "the unread fourth file was replaced"
echo "live_faults: ok"
