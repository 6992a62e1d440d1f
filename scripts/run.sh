#!/bin/sh
# Builds Morvellin and starts it.
set -eu
cd "$(dirname "$0")/.."
sh scripts/install-deps.sh
cmake -S . -B build -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo
cmake --build build -j "$(nproc)" --target morvellin morvellin-lookup
exec ./build/app/morvellin "$@"
