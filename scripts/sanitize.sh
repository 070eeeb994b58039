#!/usr/bin/env bash
# Builds everything with AddressSanitizer and UndefinedBehaviorSanitizer in its own folder and
# runs the test suite there. Any sanitizer report fails the run.
#   SANITIZE_BUILD_DIR  build folder (default <repo>/build-asan)
#   SANITIZE_E2E=0      leave out the end-to-end scenarios (by default the instrumented program
#                       is also driven through them; they add about half a minute)
set -euo pipefail

repo="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"
build="${SANITIZE_BUILD_DIR:-$repo/build-asan}"
jobs="${SANITIZE_JOBS:-2}"

cmake -S "$repo" -B "$build" -DCMAKE_BUILD_TYPE=RelWithDebInfo -DCADRELL_SANITIZE=ON >/dev/null
cmake --build "$build" -j"$jobs"

# Leaks inside the system's own libraries (fonts, D-Bus, the GL and X stacks) are not ours and
# are kept for the process's life by design; everything else is reported.
supp="$build/lsan.supp"
cat >"$supp" <<'SUPP'
leak:libfontconfig.so
leak:libfreetype.so
leak:libdbus-1.so
leak:libglib-2.0.so
leak:libgobject-2.0.so
leak:libxcb
leak:libX11.so
leak:libEGL
leak:libGLX
leak:libgallium
leak:libharfbuzz.so
leak:libQt6DBus.so
leak:libQt6XcbQpa.so
leak:libqxcb
leak:libqoffscreen
SUPP

# Reports also go to files, so that one in a child process of a passing test is seen too.
reports="$build/sanitizer-reports"
rm -rf "$reports"
mkdir -p "$reports"
export ASAN_OPTIONS="halt_on_error=1:abort_on_error=1:detect_leaks=1:detect_stack_use_after_return=1:check_initialization_order=1:log_path=$reports/asan"
export LSAN_OPTIONS="suppressions=$supp:print_suppressions=0"
export UBSAN_OPTIONS="halt_on_error=1:print_stacktrace=1:log_path=$reports/ubsan"

exclude=()
[[ "${SANITIZE_E2E:-1}" == 0 ]] && exclude=(-LE e2e)

log="$build/sanitize-ctest.log"
status=0
(cd "$build" && ctest --output-on-failure -j"$jobs" "${exclude[@]}" --timeout 900 --repeat until-pass:2) 2>&1 | tee "$log" || status=$?

# A test may catch a failing child (the hand-off tests start the program) and still pass; any
# report fails the run all the same.
if compgen -G "$reports/*" >/dev/null; then
    echo "sanitize.sh: sanitizer reports:" >&2
    for f in "$reports"/*; do
        echo "==== $f" >&2
        head -n 80 "$f" >&2
    done
    status=1
fi
if [[ $status == 0 ]]; then
    echo "sanitize.sh: all tests passed with no sanitizer report"
fi
exit $status
