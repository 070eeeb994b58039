#!/bin/sh
# Builds the benchmark if needed, writes playlists of 10,000, 100,000 and 1,000,000 entries into
# a temporary folder and prints the table.
#
#   bench/run.sh [--runs N] [--markdown]
#
# BUILD_DIR (default build-bench beside this folder) and TMPDIR choose where things go; JOBS
# (default 2) limits the build.
set -eu

src=$(cd "$(dirname "$0")/.." && pwd)
build=${BUILD_DIR:-$src/build-bench}
jobs=${JOBS:-2}

if [ ! -f "$build/CMakeCache.txt" ]; then
    cmake -S "$src" -B "$build" -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null
fi
cmake --build "$build" --target generate_playlist bench_playlist -j"$jobs" >/dev/null

work=$(mktemp -d "${TMPDIR:-/tmp}/cadrell-bench.XXXXXX")
trap 'rm -rf "$work"' EXIT INT TERM

files=
for n in 10000 100000 1000000; do
    "$build/bench/generate_playlist" "$n" "$work/playlist-$n.m3u" 2>/dev/null
    files="$files $work/playlist-$n.m3u"
done

# shellcheck disable=SC2086 # the names are ours and have no blanks
QT_QPA_PLATFORM=offscreen "$build/bench/bench_playlist" "$@" $files
