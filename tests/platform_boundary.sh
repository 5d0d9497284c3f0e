#!/usr/bin/env bash
# Only platform/ may talk to the OS: no OS header and no _WIN32 test elsewhere.
set -u
src=$2
cd "$src"
hits=$(grep -rnE '#include <(unistd|fcntl|termios|windows|conio|io|poll|signal)\.h>|#include <sys/|_WIN32' \
  --include='*.cpp' --include='*.h' core app stations acquisition pulses timesync output tools 2>/dev/null)
if [ -n "$hits" ]; then
  echo "OS-specific code outside platform/:"
  echo "$hits"
  exit 1
fi
echo "platform boundary: ok"
