#!/bin/bash
# Builds the Debian package in the given build folder and checks it: lintian, the hardening of
# the program, the desktop entry and AppStream data as installed, the file list, the unpacked
# program opening a playlist and finding its help page under Xvfb, and, as root on a throw-away
# CI machine, install and purge.
set -euo pipefail
build="$(cd "$1" && pwd)"
id=example.tovermark.Cadrell
fail() { echo "package-check: $*" >&2; exit 1; }

cd "$build"
rm -f cadrell_*.deb
cpack -G DEB >/dev/null
deb="$(echo "$build"/cadrell_*.deb)"
lintian --fail-on error "$deb"

tmp="$(mktemp -d)"
trap 'rm -rf "$tmp"' EXIT
root="$tmp/root"
dpkg-deb -x "$deb" "$root"
# The program is hardened as Debian's build flags make a package: position-independent, full
# RELRO with immediate binding, the stack protector and the checked string functions. Debian's
# flags leave control-flow protection out, so it is not asked for here either.
hardening-check --nocfprotection "$root/usr/bin/cadrell" >"$tmp/hardening" ||
  { cat "$tmp/hardening" >&2; fail "the packaged program is not hardened"; }
desktop-file-validate "$root/usr/share/applications/$id.desktop"
appstreamcli validate --no-net "$root/usr/share/metainfo/$id.metainfo.xml" >/dev/null
files=(usr/bin/cadrell usr/share/doc/cadrell/cadrell.htm usr/share/doc/cadrell/copyright
  usr/share/applications/$id.desktop usr/share/metainfo/$id.metainfo.xml
  usr/share/man/man1/cadrell.1.gz usr/share/icons/hicolor/scalable/apps/$id.svg)
for size in 16 32 48 64 128 256; do files+=(usr/share/icons/hicolor/${size}x$size/apps/$id.png); done
listed="$(dpkg-deb -c "$deb" | awk '{print $6}')"
for f in "${files[@]}"; do grep -qx "./$f" <<<"$listed" || fail "$f is not in the package"; done

# The unpacked program opens a playlist, and F1 finds the page in the documentation folder.
mkdir -p "$tmp/home" "$tmp/runtime" && chmod 700 "$tmp/runtime"
printf '#EXTM3U\r\nsong.mp3\r\n' >"$tmp/list.m3u"
HOME="$tmp/home" XDG_RUNTIME_DIR="$tmp/runtime" CADRELL_EVENT_LOG="$tmp/events" \
  xvfb-run -a bash -c '"$1" "$2" & pid=$!
    for _ in $(seq 300); do grep -q "^openurl" "$3" 2>/dev/null && break
      grep -q "^opened" "$3" 2>/dev/null && xdotool search --onlyvisible --pid $pid \
        --name Cadrell windowfocus key F1 >/dev/null 2>&1; sleep 0.2; done
    kill $pid; wait $pid || true' _ "$root/usr/bin/cadrell" "$tmp/list.m3u" "$tmp/events"
grep -qx "opened	$tmp/list.m3u" "$tmp/events" || fail "the unpacked program did not open a playlist"
grep -qx "openurl	file://$root/usr/share/doc/cadrell/cadrell.htm" "$tmp/events" ||
  fail "the unpacked program did not find its help page"

# A real install and purge only where the machine is thrown away afterwards.
if [[ "${CI:-}" == true && $(id -u) == 0 ]]; then
  snapshot() { find /usr/share/applications /usr/share/icons/hicolor /usr/share/metainfo \
    /usr/share/man/man1 /usr/share/doc /usr/bin ! -name '*.cache' 2>/dev/null | sort; }
  snapshot >"$tmp/before"
  DEBIAN_FRONTEND=noninteractive apt-get install -y -qq "$deb" >/dev/null
  [[ -x /usr/bin/cadrell ]] && grep -q "$id" /usr/share/applications/mimeinfo.cache ||
    fail "the installed package is not registered for playlists"
  DEBIAN_FRONTEND=noninteractive apt-get purge -y -qq cadrell >/dev/null
  snapshot >"$tmp/after"
  diff "$tmp/before" "$tmp/after" || fail "purge left files behind"
  ! grep -rqs "$id" /usr/share/applications/mimeinfo.cache || fail "purge left the association"
fi
echo "package-check: passed"
