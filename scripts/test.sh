#!/bin/sh
# Builds everything and runs every test: the plain build first, then the
# engine and workflow tests again under AddressSanitizer and
# UndefinedBehaviorSanitizer. Window tests run on an Xvfb display that this
# script starts itself. Build folders: build/ and build-asan/.
set -eu
cd "$(dirname "$0")/.."
sh scripts/install-deps.sh

jobs=$(nproc)

cmake -S . -B build -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo
cmake --build build -j "$jobs"

cmake -S . -B build-asan -G Ninja -DCMAKE_BUILD_TYPE=Debug -DMORVELLIN_SANITIZE=ON \
  -DMORVELLIN_BUILD_BENCH=OFF
cmake --build build-asan -j "$jobs"

# A display of our own, whatever the caller has: Xvfb picks a free number
# and writes it to the file on descriptor 3.
display_file=$(mktemp)
Xvfb -displayfd 3 -screen 0 1280x1024x24 -nolisten tcp 3>"$display_file" >/dev/null 2>&1 &
xvfb_pid=$!
trap 'kill $xvfb_pid 2>/dev/null || true; rm -f "$display_file"' EXIT INT TERM
for _ in $(seq 100); do
  [ -s "$display_file" ] && break
  sleep 0.1
done
[ -s "$display_file" ] || { echo "test.sh: Xvfb did not start" >&2; exit 1; }
export DISPLAY=":$(head -n 1 "$display_file")"
unset WAYLAND_DISPLAY

status=0
ctest --test-dir build --output-on-failure -j "$jobs" || status=1
ASAN_OPTIONS=detect_leaks=1 UBSAN_OPTIONS=print_stacktrace=1 \
  ctest --test-dir build-asan --output-on-failure -j "$jobs" -LE window || status=1
exit $status
