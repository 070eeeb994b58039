#!/usr/bin/env bash
# Builds the libFuzzer targets with clang in their own folder and runs each for a bounded time.
#   FUZZ_SECONDS   seconds per target (default 60)
#   FUZZ_BUILD_DIR build folder (default <repo>/build-fuzz)
# Exits non-zero when a target crashes, reports a sanitizer error or breaks its round trip; the
# input that did it is kept in the build folder (crash-*, leak-*, timeout-*).
set -euo pipefail

repo="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"
build="${FUZZ_BUILD_DIR:-$repo/build-fuzz}"
seconds="${FUZZ_SECONDS:-60}"
jobs="${FUZZ_JOBS:-2}"
targets=(fuzz_playlist_roundtrip fuzz_regfile_parse fuzz_journal_parse)

command -v clang++ >/dev/null || { echo "fuzz.sh: clang++ not found (Debian: clang libclang-rt-14-dev)" >&2; exit 1; }

cmake -S "$repo" -B "$build" -DCMAKE_BUILD_TYPE=RelWithDebInfo \
      -DCMAKE_CXX_COMPILER=clang++ -DCADRELL_FUZZ=ON >/dev/null
cmake --build "$build" --target "${targets[@]}" -j"$jobs"

export ASAN_OPTIONS="halt_on_error=1:abort_on_error=1:detect_leaks=1:allocator_may_return_null=1"
export UBSAN_OPTIONS="halt_on_error=1:print_stacktrace=1"

status=0
for t in "${targets[@]}"; do
    work="$build/fuzz-work/$t"
    rm -rf "$work"
    mkdir -p "$work/corpus"
    # New inputs go to a scratch corpus; the checked-in seeds stay as they are.
    cp "$repo/tests/fuzz/corpus/$t/"* "$work/corpus/"
    echo "== $t: ${seconds}s"
    log="$work/fuzz.log"
    if (cd "$work" && "$build/tests/fuzz/$t" -max_total_time="$seconds" -max_len=65536 \
            -rss_limit_mb=2048 -timeout=10 -print_final_stats=1 corpus >"$log" 2>&1); then
        runs=$(grep -m1 '^stat::number_of_executed_units' "$log" | awk '{print $2}')
        echo "$t: ok, ${runs:-?} executions, corpus $(ls "$work/corpus" | wc -l) inputs"
    else
        status=1
        echo "$t: FAILED" >&2
        tail -n 60 "$log" >&2
        ls "$work"/crash-* "$work"/leak-* "$work"/timeout-* "$work"/oom-* 2>/dev/null >&2 || true
    fi
done
exit $status
