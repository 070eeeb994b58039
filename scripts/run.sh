#!/bin/bash
# Builds Cadrell and starts it, with an optional playlist: bash scripts/run.sh [playlist.m3u]
set -euo pipefail
root="$(cd "$(dirname "$0")/.." && pwd)"
bash "$root/scripts/install-deps.sh"
cmake -S "$root" -B "$root/build" -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null
cmake --build "$root/build" --target cadrell -j"$(nproc)"
exec "$root/build/cadrell" "$@"
