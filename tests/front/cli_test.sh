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

# Certificate encryption: sealed for alice, opened with her PKCS#12, refused with a wrong password (exit 3).
pubsec=$(dirname "$0")/../data/pubsec
message=$("$VARNEL_WINE" "$exe" encrypt "$(win "$corpus/classic-01.pdf")" "$(win "$work/pubsec.pdf")" \
  --owner-recipient="$(win "$pubsec/alice.pem")" 2>&1)
if echo "$message" | grep -q 'could not be sealed'; then
  echo "skip: certificate encryption (this crypt32 refuses CryptMsgOpenToEncode for AES-256-CBC: $message)"
else
  check $? "pubsec: varnel.exe encrypt for a certificate"
  "$VARNEL_WINE" "$exe" decrypt --identity="$(win "$pubsec/alice.p12")" --identity-password=pw \
    "$(win "$work/pubsec.pdf")" "$(win "$work/pubsec-open.pdf")" && "$VARNEL_WINE" "$exe" check "$(win "$work/pubsec-open.pdf")"
  check $? "pubsec: opened with the identity, check matches"
  "$VARNEL_WINE" "$exe" decrypt --identity="$(win "$pubsec/alice.p12")" --identity-password=wrong \
    "$(win "$work/pubsec.pdf")" "$(win "$work/pubsec-wrong.pdf")"
  [ $? = 3 ] && [ ! -e "$work/pubsec-wrong.pdf" ]
  check $? "pubsec: a wrong identity password exits 3, no output"
fi
[ "$failures" = 0 ]
