#!/bin/bash
# Checks with qpdf each NAME.pdf of a folder that has a NAME.expect (user and owner password, /P, revision).
# Usage: qpdf_check.sh FOLDER
set -u
failures=0 files=0
check() { if [ "$1" = 0 ]; then echo "ok: $2"; else echo "FAIL: $2"; failures=$((failures + 1)); fi; }
for pdf in "$1"/*.pdf; do
  expect="${pdf%.pdf}.expect"
  [ -e "$expect" ] || continue
  files=$((files + 1))
  { IFS= read -r user; IFS= read -r owner; IFS= read -r p; IFS= read -r revision; } < "$expect"
  name=$(basename "$pdf")
  for password in "$user" ${owner:+"$owner"}; do
    qpdf --check --password="$password" "$pdf" >/dev/null 2>&1
    check $? "$name: qpdf --check with the password '$password'"
  done
  info=$(qpdf --show-encryption --password="$user" "$pdf" 2>&1)
  echo "$info" | grep -qx "R = $revision" && echo "$info" | grep -qx "P = $p"
  check $? "$name: revision $revision, P = $p"
  if [ -n "$user" ]; then ! qpdf --check --password="not-$user" "$pdf" >/dev/null 2>&1
  else qpdf --requires-password "$pdf" >/dev/null 2>&1; [ $? = 3 ]; fi
  check $? "$name: a wrong password refused (without a user password: encrypted, none needed)"
done
[ "$files" -gt 0 ]
check $? "encrypted files found in $1"
echo "$files files, $failures failures"
[ "$failures" = 0 ]
