#!/bin/bash
# Builds Cadrell and runs the whole test suite: unit and end-to-end tests, then the sanitizer
# build of the suite and the bounded fuzz runs.
set -euo pipefail
root="$(cd "$(dirname "$0")/.." && pwd)"
bash "$root/scripts/install-deps.sh"
cmake -S "$root" -B "$root/build" -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null
cmake --build "$root/build" -j"$(nproc)"
# A scenario that drives the real program through a busy X server gets a second chance before
# it counts as failed; a real fault fails every time.
(cd "$root/build" && ctest --output-on-failure -j2 --timeout 600 --repeat until-pass:2)
bash "$root/scripts/package-check.sh" "$root/build"
for step in sanitize fuzz; do
  if [[ -f "$root/scripts/$step.sh" ]]; then
    bash "$root/scripts/$step.sh"
  fi
done
