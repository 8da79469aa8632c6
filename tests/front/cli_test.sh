#!/bin/bash
# varnel.exe under Wine: a name outside any ANSI code page, a password SASLprep maps (for qpdf_check.sh); a refusal.
# Usage: cli_test.sh VARNEL_EXE CORPUS WORKDIR   (environment: VARNEL_WINE, WINEPREFIX)
set -u
exe=$1 corpus=$2 work=$3
failures=0
win() { local p=$1; echo "Z:${p//\//\\}"; }
check() { if [ "$1" = 0 ]; then echo "ok: $2"; else echo "FAIL: $2"; failures=$((failures + 1)); fi; }
mkdir -p "$work"
cp "$corpus/classic-02.pdf" "$work/Ωmega 文書.pdf"

# input|output|cipher option|user password as typed|as qpdf is given it|revision|/P
while IFS='|' read -r input output cipher typed user revision p; do
  "$VARNEL_WINE" "$exe" encrypt $cipher -u "$typed" -o owner -p PC "$(win "$input")" "$(win "$work/$output.pdf")"
  check $? "$output: varnel.exe encrypt"
  printf '%s\nowner\n%s\n%s\n' "$user" "$p" "$revision" > "$work/$output.expect"
done <<EOT
$work/Ωmega 文書.pdf|encrypted ☺ Ω|--cipher=rc4-128|user|user|3|-1836
$corpus/classic-01.pdf|saslprep|--cipher=aes-256|I$(printf '\u00ad')X|IX|6|-1324
EOT

message=$("$VARNEL_WINE" "$exe" encrypt "$(win "$corpus/classic-encrypted-01.pdf")" "$(win "$work/refused.pdf")" 2>&1)
[ $? = 1 ] && echo "$message" | grep -q 'is already encrypted' && [ ! -e "$work/refused.pdf" ]
check $? "encrypted input: exit status 1, no output file ($message)"

# Certificate encryption: what needs only certificates and PKCS#12. Wine's crypt32 neither seals nor opens AES
# envelopes (docs/windows.md), so crypt32's sealing and opening cannot be tried here.
pubsec=$(dirname "$0")/../data/pubsec
run() { message=$("$VARNEL_WINE" "$exe" "$@" 2>&1); }
# args|exit status|message
while IFS='|' read -r args status expected; do
  run $args  # (paths without spaces: split into words)
  [ $? = "$status" ] && echo "$message" | grep -q "$expected" && [ ! -e "$work/pubsec-refused.pdf" ]
  check $? "pubsec: $expected ($message)"
done <<EOT
decrypt --identity=$(win "$pubsec/alice.p12") --identity-password=wrong $(win "$pubsec/alice-owner.pdf") $(win "$work/pubsec-refused.pdf")|3|the identity cannot be read
encrypt --recipient=$(win "$pubsec/alice.key") $(win "$corpus/classic-01.pdf") $(win "$work/pubsec-refused.pdf")|1|holds no certificate that can be read
check $(win "$pubsec/alice-owner.pdf")|1|a recipient's private key is needed
EOT
[ "$failures" = 0 ]
