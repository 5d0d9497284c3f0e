#!/usr/bin/env bash
# The module layering: every folder includes only the folders below it, so
# that data and dependencies flow one way. Only platform/ talks to the OS.
#
#   core          numbers, errors, text, Loran facts (depends on nothing)
#   platform      console, keyboard, clocks, files, commands (the OS)
#   timebase      the program time of buffer time 0 and how it is known
#   stations      station table, geodesy, chain timing
#   acquisition   sample reader, clock, WAV files
#   pulses        front end, integration, pulse analysis, clock loop,
#                 steering, fold, period health
#   eloran        the eLoran data channel: patterns, CRC, Reed-Solomon,
#                 messages, demodulation, framing
#   timesync      TAI synchronisation
#   output        console lines, station list, waterfall bitmap
#   app           settings and run control
#   tools, bench  companion programs and benchmarks: any module, never app
#
# A quoted include names its folder first ("pulses/fold.h"); tools may also
# include their own folder's headers by bare name.
#
#   tests/layering.sh BUILD SOURCE      (ctest passes both; BUILD is unused)
set -u
src=${2:-$(dirname "$0")/..}
cd "$src" || exit 1

allowed() {  # allowed FOLDER -> the folders it may include
  case $1 in
    core) echo "core" ;;
    platform) echo "core platform" ;;
    timebase) echo "core timebase" ;;
    stations) echo "core platform stations" ;;
    acquisition) echo "core platform timebase acquisition" ;;
    pulses) echo "core platform timebase stations acquisition pulses" ;;
    eloran) echo "core platform timebase stations acquisition pulses eloran" ;;
    timesync) echo "core platform timebase stations acquisition pulses eloran timesync" ;;
    output) echo "core platform timebase stations acquisition pulses eloran timesync output" ;;
    app) echo "core platform timebase stations acquisition pulses eloran timesync output app" ;;
    tools) echo "core platform timebase stations acquisition pulses eloran timesync output tools" ;;
    bench) echo "core platform timebase stations acquisition pulses eloran timesync output" ;;
  esac
}

status=0
for folder in core platform timebase stations acquisition pulses eloran timesync output app tools bench; do
  [ -d "$folder" ] || continue
  ok=" $(allowed "$folder") "
  while IFS= read -r hit; do
    file=${hit%%:*}
    rest=${hit#*:}
    line=${rest%%:*}
    target=$(printf '%s' "$rest" | sed -E 's/.*#include "([^"]+)".*/\1/')
    case $target in */*) ;; *) continue ;; esac  # a header of the file's own folder
    top=${target%%/*}
    if [ "$folder" = tools ] && [ "$top" = "$(printf '%s' "$file" | cut -d/ -f2)" ]; then continue; fi
    case "$ok" in *" $top "*) ;; *)
      echo "$file:$line: $folder/ may not include $target"
      status=1 ;;
    esac
  done < <(grep -rnE '^[[:space:]]*#include "' --include='*.cpp' --include='*.h' "$folder" 2>/dev/null)
done

os=$(grep -rnE '#include <(unistd|fcntl|termios|windows|conio|io|poll|signal)\.h>|#include <sys/|_WIN32' \
  --include='*.cpp' --include='*.h' core app stations acquisition pulses eloran timesync output tools 2>/dev/null)
if [ -n "$os" ]; then
  echo "OS-specific code outside platform/:"
  echo "$os"
  status=1
fi
[ $status -eq 0 ] && echo "layering: ok"
exit $status
