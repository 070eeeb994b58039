#!/bin/bash
# Builds the benchmarks if needed, writes playlists of 10,000, 100,000 and 1,000,000 entries into
# a temporary folder and prints the table:
#
#   bash bench/run.sh [--runs N] [--markdown] [--raw]
#
# BUILD_DIR (default: build, the folder scripts/run.sh and scripts/test.sh use), JOBS (default:
# all processors) and TMPDIR (where the playlists go) may be set.
set -euo pipefail

root="$(cd "$(dirname "$0")/.." && pwd)"
build="${BUILD_DIR:-$root/build}"
jobs="${JOBS:-$(nproc)}"

# Timings of a debug build say nothing, so the build type is set every time.
cmake -S "$root" -B "$build" -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null
cmake --build "$build" --target generate_playlist bench_playlist bench_tools bench_gaps bench_journal bench_startup startup_floor -j"$jobs" >/dev/null

work="$(mktemp -d "${TMPDIR:-/tmp}/cadrell-bench.XXXXXX")"
trap 'rm -rf "$work"' EXIT

files=()
for n in 10000 100000 1000000; do
    "$build/bench/generate_playlist" "$n" "$work/playlist-$n.m3u" 2>/dev/null
    files+=("$work/playlist-$n.m3u")
done

QT_QPA_PLATFORM=offscreen "$build/bench/bench_playlist" "$@" "${files[@]}"
# The playlist tools: the two larger lists, then the missing-files check on a folder tree of its own.
"$build/bench/bench_tools" "$@" "${files[@]:1}"
# How long the window stands still while each Playlist menu command runs, on the largest list.
QT_QPA_PLATFORM=offscreen "$build/bench/bench_gaps" $([[ " $* " == *" --markdown "* ]] && echo --markdown) "${files[2]}"
# What a recovery journal adds to each command and its undo, and its size, on the largest list.
"$build/bench/bench_journal" "$@" "${files[2]}"
# From starting the program to the first painted rows of a short playlist, and the same for a bare
# window of the toolkit, median of 10 starts each.
QT_QPA_PLATFORM=offscreen "$build/bench/bench_startup" $([[ " $* " == *" --markdown "* ]] && echo --markdown)
