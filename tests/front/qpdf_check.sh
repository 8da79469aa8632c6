#!/bin/bash
# Checks, with qpdf, the encrypted files that the COM client received: each
# NAME.pdf has a NAME.expect with three or four lines: user password, owner
# password, the expected /P value and the revision (3 when absent). Each file
# must pass qpdf --check with either password, be of that revision with that
# /P, and refuse a wrong password.
# Usage: qpdf_check.sh OUTPUTS
set -u
outputs=$1
failures=0 files=0
check() {
  if [ "$1" = 0 ]; then echo "ok: $2"; else echo "FAIL: $2"; failures=$((failures + 1)); fi
}

for pdf in "$outputs"/*.pdf; do
  [ -e "$pdf" ] || continue
  expect="${pdf%.pdf}.expect"
  [ -e "$expect" ] || continue
  files=$((files + 1))
  revision=3
  { IFS= read -r user; IFS= read -r owner; IFS= read -r p; IFS= read -r revision; } < "$expect"
  revision=${revision:-3}
  name=$(basename "$pdf")

  qpdf --check --password="$user" "$pdf" >/dev/null 2>&1
  check $? "$name: qpdf --check with the user password"
  if [ -n "$owner" ]; then
    qpdf --check --password="$owner" "$pdf" >/dev/null 2>&1
    check $? "$name: qpdf --check with the owner password"
  fi
  info=$(qpdf --show-encryption --password="$user" "$pdf" 2>&1)
  echo "$info" | grep -qx "R = $revision" && echo "$info" | grep -qx "P = $p"
  check $? "$name: revision $revision, P = $p"
  qpdf --requires-password "$pdf" >/dev/null 2>&1
  status=$?
  if [ -n "$user" ]; then
    [ "$status" = 0 ]
    check $? "$name: a password is required"
    ! qpdf --check --password="not-$user" "$pdf" >/dev/null 2>&1
    check $? "$name: a wrong password is refused"
  else
    [ "$status" = 3 ]
    check $? "$name: encrypted, opens without a password"
  fi
done

[ "$files" -gt 0 ]
check $? "encrypted files found in $outputs"
echo "$files files, $failures failures"
[ "$failures" = 0 ]
