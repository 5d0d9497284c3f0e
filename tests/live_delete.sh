#!/usr/bin/env bash
# A third party removes each finished live file itself: a preloaded unlink()
# removes the file and then reports ENOENT, as if another program had taken
# it first. The monitor must count such a file as consumed and say so, and
# must never delete a file it has not read: the preload logs every unlink of
# the sample file with whether the process had opened that very file (by
# inode) since the previous unlink. POSIX with a C compiler only.
set -euo pipefail
build=$(cd "$1" && pwd)
src=$(cd "$2" && pwd)
cc=$(command -v cc || command -v gcc || true)
if [ -z "$cc" ] || [ "$(uname -s)" != Linux ]; then
  echo "live_delete: skipped (needs Linux and a C compiler)"
  exit 0
fi
work=$(mktemp -d)
pid=
cleanup() {
  if [ -n "$pid" ]; then kill "$pid" 2>/dev/null || true; fi
  rm -rf "$work"
}
trap cleanup EXIT
fail() { echo "live_delete: $*" >&2; exit 1; }
cd "$work"

cat > gone.c <<'C'
#define _GNU_SOURCE
#include <dlfcn.h>
#include <errno.h>
#include <fcntl.h>
#include <stdarg.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <sys/stat.h>
#include <unistd.h>

static ino_t opened[64];
static int nopened;

static int istarget(const char* path) {
    const char* t = getenv("GONE_TARGET");
    size_t n = strlen(path), m = t ? strlen(t) : 0;
    return t && m > 0 && n >= m && strcmp(path + n - m, t) == 0;
}

static void note(int fd, const char* path) {
    struct stat st;
    if (fd >= 0 && istarget(path) && fstat(fd, &st) == 0 && nopened < 64) opened[nopened++] = st.st_ino;
}

static int openwith(const char* name, const char* path, int flags, va_list args) {
    int (*real)(const char*, int, ...) = (int (*)(const char*, int, ...))dlsym(RTLD_NEXT, name);
    mode_t mode = (flags & O_CREAT) ? (mode_t)va_arg(args, int) : 0;
    int fd = real(path, flags, mode);
    note(fd, path);
    return fd;
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

int unlink(const char* path) {
    int (*real)(const char*) = (int (*)(const char*))dlsym(RTLD_NEXT, "unlink");
    struct stat st;
    if (!istarget(path) || stat(path, &st) != 0) return real(path);
    int read = 0;
    for (int i = 0; i < nopened; ++i)
        if (opened[i] == st.st_ino) read = 1;
    nopened = 0;
    FILE* log = fopen(getenv("GONE_LOG"), "a");
    if (log) {
        fprintf(log, "%s %lld\n", read ? "read" : "UNREAD", (long long)st.st_size);
        fclose(log);
    }
    real(path);
    errno = ENOENT;
    return -1;
}
C
"$cc" -shared -fPIC -o gone.so gone.c -ldl || fail "cannot build the preload library"

cp "$src/examples/table.txt" .
cat > live.ini <<'INI'
[file]
dat = audio.dat
table = table.txt
bits = 16
stereo
[frequency]
sr = 22050
[stations]
6731m
INI

# An AddressSanitizer build wants its runtime first; the preload goes after it.
export ASAN_OPTIONS="${ASAN_OPTIONS:+$ASAN_OPTIONS:}verify_asan_link_order=0"
GONE_TARGET=audio.dat GONE_LOG="$work/unlinks.log" LD_PRELOAD="$work/gone.so" \
  "$build/corvane" live.ini </dev/null >out.txt 2>err.txt &
pid=$!

consumed() {  # waits until audio.dat is gone
  for _ in $(seq 1 400); do
    [ -e audio.dat ] || return 0
    kill -0 "$pid" 2>/dev/null || { cat err.txt >&2; fail "the monitor ended before consuming file $1"; }
    sleep 0.05
  done
  fail "file $1 was not consumed"
}

# Each file follows as soon as the previous one is gone, while a retry of the
# refused delete would still be pausing.
n=0
for size in 4000 8000 12000; do
  n=$((n + 1))
  head -c "$size" /dev/urandom > audio.part
  mv audio.part audio.dat
  consumed "$n ($size bytes)"
done
: > audio.part
mv audio.part audio.dat
for _ in $(seq 1 200); do
  kill -0 "$pid" 2>/dev/null || break
  sleep 0.05
done
if kill -0 "$pid" 2>/dev/null; then
  if grep -q UNREAD unlinks.log 2>/dev/null; then fail "a file was deleted unread: $(tr '\n' ' ' < unlinks.log)"; fi
  fail "the monitor did not end at the empty file"
fi
status=0
wait "$pid" || status=$?
pid=
[ "$status" -eq 0 ] || { cat err.txt >&2; fail "exit status $status"; }
[ -f unlinks.log ] || fail "the preload saw no unlink (was it loaded?)"
if grep -q UNREAD unlinks.log; then fail "a file was deleted unread: $(tr '\n' ' ' < unlinks.log)"; fi
[ "$(cat unlinks.log)" = "$(printf 'read 4000\nread 8000\nread 12000')" ] ||
  fail "unexpected deletes: $(tr '\n' ' ' < unlinks.log)"
[ "$(grep -c 'was removed by another program' out.txt)" -eq 3 ] || fail "the run did not say what happened: $(cat out.txt)"
echo "live_delete: ok"
