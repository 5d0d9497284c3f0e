#!/usr/bin/env bash
# The live hand-over: a receiver writes each sample file under another name
# and renames it to the monitor's `dat` name. The monitor must consume and
# delete every file, and end with status 0 at a file of length 0, which it
# deletes too (it has been consumed). A "q" while waiting for a file quits with status 0. A file
# that another program removed first is never mistaken for the next one.
set -euo pipefail
build=$(cd "$1" && pwd)
src=$(cd "$2" && pwd)
work=$(mktemp -d)
pid=
cleanup() {
  if [ -n "$pid" ]; then kill "$pid" 2>/dev/null || true; fi
  rm -rf "$work"
}
trap cleanup EXIT
fail() { echo "live_handover: $*" >&2; exit 1; }
cd "$work"
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

# Standard input at its end: no key is ever pending.
"$build/corvane" live.ini </dev/null >out.txt 2>err.txt &
pid=$!

consumed() {  # waits until the monitor has deleted audio.dat
  for _ in $(seq 1 400); do
    [ -e audio.dat ] || return 0
    kill -0 "$pid" 2>/dev/null || { cat err.txt >&2; fail "the monitor ended before consuming file $1"; }
    sleep 0.05
  done
  fail "file $1 was not consumed"
}

# Hands over files of the given sizes, each after the previous one is
# consumed, then the empty file that ends the run.
handover() {
  local n=0 size
  for size in "$@"; do
    n=$((n + 1))
    head -c "$size" /dev/urandom > audio.part
    mv audio.part audio.dat
    consumed "$n ($size bytes)"
  done
  : > audio.part
  mv audio.part audio.dat
}
# Waits for the monitor's end; false if it goes on; status holds its exit status.
ended() {
  for _ in $(seq 1 200); do
    kill -0 "$pid" 2>/dev/null || break
    sleep 0.05
  done
  kill -0 "$pid" 2>/dev/null && return 1
  status=0
  wait "$pid" || status=$?
  pid=
  [ "$status" -eq 0 ] || { cat err.txt >&2; fail "exit status $status"; }
}

# Frame-sized and odd sizes: one block, exactly a block, several blocks, a
# partial frame only, a single byte.
handover 10000 16384 40000 3 1
ended || fail "the monitor did not end at the empty file"
[ ! -e audio.dat ] || fail "the empty file that ended the run was left"
[ ! -s err.txt ] || { cat err.txt >&2; fail "unexpected standard error output"; }
[ "$(tail -c 1 out.txt | od -An -c | tr -d ' ')" = '\n' ] || fail "the run did not end with a line end"

# "q" while waiting for a file that never comes.
rm -f audio.dat
status=0
printf 'Xq' | timeout 20 "$build/corvane" live.ini >out2.txt 2>&1 || status=$?
[ "$status" -eq 0 ] || fail "quit while waiting gave status $status"
[ ! -e audio.dat ] || fail "waiting created the sample file"

# A third party removes each finished file itself: a preloaded unlink()
# removes the file and then reports ENOENT, as if another program had taken
# it first. The monitor must count such a file as consumed and say so, and
# never delete a file it has not read: the preload logs every unlink of the
# sample file with whether the process had opened that very file (by inode)
# since the previous unlink. Linux with a C compiler only.
cc=$(command -v cc || command -v gcc || true)
if [ -z "$cc" ] || [ "$(uname -s)" != Linux ]; then
  echo "live_handover: ok (the third-party delete needs Linux and a C compiler: skipped)"
  exit 0
fi
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
rm -f audio.dat
# An AddressSanitizer build wants its runtime first; the preload goes after it.
export ASAN_OPTIONS="${ASAN_OPTIONS:+$ASAN_OPTIONS:}verify_asan_link_order=0"
GONE_TARGET=audio.dat GONE_LOG="$work/unlinks.log" LD_PRELOAD="$work/gone.so" \
  "$build/corvane" live.ini </dev/null >out3.txt 2>err.txt &
pid=$!
# Each file follows as soon as the previous one is gone, while a retry of
# the refused delete would still be pausing.
handover 4000 8000 12000
unread() { grep -q UNREAD unlinks.log 2>/dev/null && fail "a file was deleted unread: $(tr '\n' ' ' < unlinks.log)"; }
ended || { unread; fail "the monitor did not end at the empty file"; }
unread || true
[ "$(cat unlinks.log)" = "$(printf 'read 4000\nread 8000\nread 12000\nread 0')" ] ||
  fail "unexpected deletes: $(tr '\n' ' ' < unlinks.log)"
[ "$(grep -c 'was removed by another program' out3.txt)" -eq 4 ] || fail "the run did not say what happened: $(cat out3.txt)"
echo "live_handover: ok"
