#!/usr/bin/env bash
# Usage: run.sh BUILD_DIR SAMPLE_PDF VERSION
set -euo pipefail
build=$1 sample=$2 version=$3
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
cpack -G DEB --config "$build/CPackConfig.cmake" -B "$work" >/dev/null
fail() { echo "FAIL: $*" >&2; exit 1; }
deb() { ls "$work"/"$1"_"$version"_*.deb; }
# Each package holds its own files, and dpkg-shlibdeps filled in what they need.
for want in "varnel usr/bin/varnel usr/share/man/man1/varnel.1 usr/share/bash-completion/completions/varnel usr/share/zsh/site-functions/_varnel" \
            "libvarnel0.2 usr/lib/libvarnel.so.0.2" "libvarnel-dev usr/include/varnel/varnel.h usr/lib/libvarnel.so usr/lib/libvarnel.a usr/lib/pkgconfig/varnel.pc"; do
  set -- $want
  listing=$(dpkg-deb -c "$(deb "$1")")
  package=$1; shift
  for f in "$@"; do grep -q " \./$f\( \|$\)" <<<"$listing" || fail "$package lacks $f"; done
  dpkg -x "$(deb "$package")" "$work/root"
done
dpkg-deb -f "$(deb varnel)" Depends | grep -q "libc6.*libssl3\|libssl3.*libc6" || fail "varnel's Depends: $(dpkg-deb -f "$(deb varnel)" Depends)"
dpkg-deb -f "$(deb libvarnel-dev)" Depends | grep -qF "libvarnel0.2 (= $version)" || fail "libvarnel-dev does not need libvarnel0.2"
! dpkg-deb -c "$(deb libvarnel0.2)" | awk '{print $6}' | grep -qE '/include/|\.a$|\.so$' || fail "libvarnel0.2 holds development files"
# The tool from the unpacked root.
[ "$("$work/root/usr/bin/varnel" --version | head -1)" = "varnel $version" ] || fail "varnel --version"
"$work/root/usr/bin/varnel" encrypt "$sample" "$work/out.pdf" -u u -q
"$work/root/usr/bin/varnel" show "$work/out.pdf" --password u >/dev/null || fail "the copy is not encrypted"
echo "ok: $(cd "$work" && ls ./*.deb | tr '\n' ' ')"
