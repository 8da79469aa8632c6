#!/bin/bash
# varnel.exe under Wine: encrypts a corpus file with each cipher, and a copy
# of one whose name lies outside any ANSI code page into a file named
# likewise; qpdf opens the results with the passwords given (AES-256 ones
# as SASLprep prepares them). An encrypted input is refused with exit
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

# Each row: input, output, cipher option, user password as typed, the same
# after SASLprep (what qpdf is given), expected revision and /P.
rows=(
  "$corpus/classic-01.pdf|$work/classic-01.encrypted.pdf||user|user|6|-1324"
  "$unicode_input|$work/encrypted ☺ Ω.pdf|--cipher=rc4-128|user|user|3|-1836"
  "$corpus/classic-01.pdf|$work/aes-128.pdf|--cipher=aes-128|user|user|4|-1324"
  "$corpus/classic-01.pdf|$work/saslprep.pdf|--cipher=aes-256|I$(printf '\u00ad')X|IX|6|-1324"
)
for row in "${rows[@]}"; do
  IFS='|' read -r input output cipher typed user revision p <<< "$row"
  name="$(basename "$input") ${cipher:-default cipher}"
  varnel encrypt $cipher -u "$typed" -o owner -p PC "$(win "$input")" "$(win "$output")"
  check $? "$name: varnel.exe encrypt"
  qpdf --check --password="$user" "$output" >/dev/null 2>&1
  check $? "$name: qpdf --check with the user password"
  qpdf --check --password=owner "$output" >/dev/null 2>&1
  check $? "$name: qpdf --check with the owner password"
  info=$(qpdf --show-encryption --password="$user" "$output" 2>/dev/null)
  echo "$info" | grep -qx "R = $revision" && echo "$info" | grep -qx "P = $p"
  check $? "$name: revision $revision, permissions print and copy"
done

message=$(varnel encrypt "$(win "$corpus/classic-encrypted-01.pdf")" "$(win "$work/refused.pdf")" 2>&1)
[ $? = 1 ]
check $? "encrypted input: exit status 1"
echo "$message" | grep -q 'Encrypted'
check $? "encrypted input: says why ($message)"
[ ! -e "$work/refused.pdf" ]
check $? "encrypted input: no output file"

[ "$failures" = 0 ]
