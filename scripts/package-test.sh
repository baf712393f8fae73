#!/usr/bin/env bash
# package-test.sh BUILD_DIR: builds the Debian package from a build tree,
# checks it with lintian (no error or warning allowed), installs it into the
# machine, runs the installed programs, validates the desktop entry and the
# AppStream metainfo, reads the manual pages, and removes the package again.
# Installing needs root; elsewhere the package is built and checked unpacked.
set -euo pipefail
build="$1"
root="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"
(cd "$build" && cpack -G DEB >/dev/null)
deb="$(ls "$build"/ringlark_*_amd64.deb)"
echo "package: $(basename "$deb")"
dpkg-deb -f "$deb" Depends
echo "size: $(($(stat -c %s "$deb") / 1024)) KiB packed, $(dpkg-deb -f "$deb" Installed-Size) KiB installed"
work="$(mktemp -d)"
trap 'rm -rf "$work"' EXIT
lintian_status=0
lintian --fail-on error,warning --tag-display-limit 0 "$deb" >"$work/lintian.txt" 2>&1 || lintian_status=$?
grep -v '^running with root privileges' "$work/lintian.txt" || true
if [ "$lintian_status" -ne 0 ]; then
  echo "lintian found errors or warnings in the package"
  exit 1
fi

desktop-file-validate "$root/packaging/ringlark.desktop"
appstreamcli validate --no-net --pedantic "$build/packaging/io.github.ringlark.ringlark.metainfo.xml"

if [ "$(id -u)" -ne 0 ]; then
  echo "not root: the package is not installed here"
  dpkg-deb -x "$deb" "$work/unpacked"
  "$work/unpacked/usr/bin/ringlark-cli" --version
  exit 0
fi

if dpkg-query -W -f='${Status}' ringlark 2>/dev/null | grep -q "install ok installed"; then
  echo "ringlark is already installed on this machine; leaving it alone"
  exit 1
fi
dpkg -i "$deb" >/dev/null
trap 'dpkg -r ringlark >/dev/null; rm -rf "$work"' EXIT
test "$(command -v ringlark-cli)" = /usr/bin/ringlark-cli
/usr/bin/ringlark-cli --version
/usr/bin/ringlark --version
/usr/bin/ringlark-cli generate sdmf --number 12-34 --date 0101 --time 1200 -o "$work/x.wav"
out="$(/usr/bin/ringlark-cli analyze --hex "$work/x.wav")"
test "$out" = "ZCA 04 0C 30 31 30 31 31 32 30 30 31 32 33 34 A1" || { echo "round trip: $out"; exit 1; }
test -f /usr/share/ringlark/RINGLARK.HLP
test "$(man -w ringlark)" = /usr/share/man/man1/ringlark.1.gz
test "$(man -w ringlark-cli)" = /usr/share/man/man1/ringlark-cli.1.gz
page="$(MANPAGER=cat MANWIDTH=200 man ringlark 2>/dev/null)"
grep -q "desktop workbench for telephone caller-ID" <<<"$page"
page="$(MANPAGER=cat MANWIDTH=200 man ringlark-cli 2>/dev/null)"
grep -q "decode telephone caller-ID signalling audio" <<<"$page"
help="$(/usr/bin/ringlark --help)"
grep -q "^Usage: ringlark" <<<"$help"
test -f /usr/share/doc/ringlark/changelog.gz
test -f /usr/share/ringlark/advice.json
# the installed advice is found: the report of a clean recording ends with it
report="$(/usr/bin/ringlark-cli diagnose "$work/x.wav")"
grep -q '^Advice$' <<<"$report"
test -f /usr/share/bash-completion/completions/ringlark-cli
test -f /usr/share/icons/hicolor/scalable/apps/ringlark.svg
desktop-file-validate /usr/share/applications/ringlark.desktop
appstreamcli validate --no-net /usr/share/metainfo/io.github.ringlark.ringlark.metainfo.xml
echo "installed, ran and validated; removing"
