#!/bin/bash
# Builds Cadrell and runs the whole test suite: unit and end-to-end tests, the unit tests again
# as an unprivileged user when run as root, then the sanitizer build of the suite and the
# bounded fuzz runs.
set -euo pipefail
root="$(cd "$(dirname "$0")/.." && pwd)"
bash "$root/scripts/install-deps.sh"
cmake -S "$root" -B "$root/build" -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null
cmake --build "$root/build" -j"$(nproc)"
# A scenario that drives the real program through a busy X server gets a second chance before
# it counts as failed; a real fault fails every time.
(cd "$root/build" && ctest --output-on-failure -j2 --timeout 600 --repeat until-pass:2)
# The unit tests once more as a user without root's rights: as root every permission case
# passes whatever the code does. A system user of our own, a scratch home, nothing else touched.
if [[ $(id -u) -eq 0 ]]; then
  user=cadrell-test
  id -u "$user" >/dev/null 2>&1 ||
    useradd --system --no-create-home --home-dir /nonexistent --shell /usr/sbin/nologin "$user"
  scratch="$(mktemp -d)"
  chown "$user:" "$scratch"
  # A checkout below a private folder (root's home) would be out of the test user's reach: let
  # that one user pass through such folders for the run, and take it back afterwards.
  granted=()
  dir="$root/build/tests"
  while [[ $dir != / ]]; do
    if ! runuser -u "$user" -- test -x "$dir" && setfacl -m "u:$user:x" "$dir" 2>/dev/null; then
      granted+=("$dir")
    fi
    dir="$(dirname "$dir")"
  done
  trap 'for d in "${granted[@]}"; do setfacl -x "u:$user" "$d" 2>/dev/null || true; done' EXIT
  failed=()
  for t in "$root"/build/tests/tst_*; do
    [[ -f $t && -x $t ]] || continue
    if ! runuser -u "$user" -- test -x "$t"; then
      echo "test.sh: $user cannot reach $t; the unprivileged run needs a checkout in a" \
        "folder other users may enter" >&2
      failed+=("$(basename "$t") (not reachable)")
      break
    fi
    log="$scratch/$(basename "$t").log"
    if ! runuser -u "$user" -- env -i PATH="$PATH" HOME="$scratch" TMPDIR="$scratch" \
      QT_QPA_PLATFORM=offscreen QT_ACCESSIBILITY=0 timeout 600 "$t" >"$log" 2>&1; then
      cat "$log"
      failed+=("$(basename "$t")")
    fi
  done
  rm -rf "$scratch"
  if ((${#failed[@]})); then
    echo "test.sh: failed as $user: ${failed[*]}" >&2
    exit 1
  fi
  echo "test.sh: unit tests passed as $user too"
fi
bash "$root/scripts/package-check.sh" "$root/build"
for step in sanitize fuzz; do
  if [[ -f "$root/scripts/$step.sh" ]]; then
    bash "$root/scripts/$step.sh"
  fi
done
