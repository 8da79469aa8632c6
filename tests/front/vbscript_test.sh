#!/bin/bash
# Runs client.vbs with Wine's cscript on a corpus file and a missing file.
# Usage: vbscript_test.sh CLIENT.vbs CORPUS
# Environment: VARNEL_WINE_SYSTEM, WINEPREFIX.
set -u
win() { local p=$1; echo "Z:${p//\//\\}"; }
"$VARNEL_WINE_SYSTEM" cscript //nologo "$(win "$1")" "$(win "$2/classic-02.pdf")" "$(win "$2/no-such-file.pdf")" | tr -d '\r'
exit "${PIPESTATUS[0]}"
