#!/bin/bash
# varnel.exe under Wine: encrypts a corpus file, and a copy of one whose name
# lies outside any ANSI code page into a file named likewise; qpdf opens both
# results with the passwords given. An encrypted input is refused with exit
# status 1 and no output file.
# Usage: cli_test.sh VARNEL_EXE CORPUS WORKDIR   (environment: VARNEL_WINE, WINEPREFIX)
set -u
exe=$1 corpus=$2 work=$3
failures=0
win() { local p=$1; echo "Z:${p//\//\\}"; }
check() {
  if [ "$1" = 0 ]; then echo "ok: $2"; else echo "FAIL: $2"; failures=$((failures + 1)); fi
}
varnel() { "$VARNEL_WINE" "$exe" "$@"; }

rm -rf "$work"
mkdir -p "$work"
unicode_input="$work/Ωmega 文書.pdf"
cp "$corpus/classic-02.pdf" "$unicode_input"

inputs=("$corpus/classic-01.pdf" "$unicode_input")
outputs=("$work/classic-01.encrypted.pdf" "$work/encrypted ☺ Ω.pdf")
for i in 0 1; do
  name=$(basename "${inputs[$i]}")
  varnel encrypt -u user -o owner -p PC "$(win "${inputs[$i]}")" "$(win "${outputs[$i]}")"
  check $? "$name: varnel.exe encrypt"
  qpdf --check --password=user "${outputs[$i]}" >/dev/null 2>&1
  check $? "$name: qpdf --check with the user password"
  qpdf --check --password=owner "${outputs[$i]}" >/dev/null 2>&1
  check $? "$name: qpdf --check with the owner password"
  qpdf --show-encryption --password=user "${outputs[$i]}" 2>/dev/null | grep -qx 'P = -1836'
  check $? "$name: permissions print and copy"
done

message=$(varnel encrypt "$(win "$corpus/classic-encrypted-01.pdf")" "$(win "$work/refused.pdf")" 2>&1)
[ $? = 1 ]
check $? "encrypted input: exit status 1"
echo "$message" | grep -q 'is already encrypted'
check $? "encrypted input: says why ($message)"
[ ! -e "$work/refused.pdf" ]
check $? "encrypted input: no output file"

[ "$failures" = 0 ]
