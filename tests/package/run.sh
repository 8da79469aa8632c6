#!/usr/bin/env bash
# run.sh BUILD SAMPLE_PDF VERSION: each .deb of BUILD holds its files, needs what dpkg-shlibdeps found, and runs.
set -euo pipefail
build=$1 sample=$2 version=$3 work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
cpack -G DEB --config "$build/CPackConfig.cmake" -B "$work" >/dev/null
fail() { echo "FAIL: $*" >&2; exit 1; }
for want in "varnel bin/varnel share/man/man1/varnel.1.gz share/bash-completion/completions/varnel share/zsh/site-functions/_varnel" \
            "libvarnel0.2 lib/libvarnel.so.0.2" "libvarnel-dev include/varnel/varnel.h lib/libvarnel.so lib/libvarnel.a"; do
  set -- $want
  deb=$(ls "$work/$1_${version}"_*.deb) && shift && listing=$(dpkg-deb -c "$deb")  # (no pipe: grep -q ends early)
  for f in "$@"; do grep -q " \./usr/$f\( \|$\)" <<<"$listing" || fail "$deb lacks $f"; done
  dpkg -x "$deb" "$work/root"
done
grep -q "libc6.*libssl3" <<<"$(dpkg-deb -f "$work"/varnel_*.deb Depends)" || fail "varnel's Depends are not filled in"
grep -qF "libvarnel0.2 (= $version)" <<<"$(dpkg-deb -f "$work"/libvarnel-dev_*.deb Depends)" || fail "libvarnel-dev's Depends"
! grep -qE '/include/|\.a$|\.so( |$)' <<<"$(dpkg-deb -c "$work"/libvarnel0.2_*.deb)" || fail "libvarnel0.2 holds development files"
[[ "$("$work/root/usr/bin/varnel" --version)" == "varnel $version"$'\n'* ]] || fail "varnel --version"
"$work/root/usr/bin/varnel" encrypt "$sample" "$work/out.pdf" -u u -q
"$work/root/usr/bin/varnel" show "$work/out.pdf" --password u >/dev/null || fail "the copy is not encrypted"
