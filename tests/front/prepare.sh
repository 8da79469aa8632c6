#!/bin/bash
# Registers the component in the test prefix and empties the folder where the
# COM client leaves its encrypted files for qpdf_check.sh.
# Usage: prepare.sh DLL OUTPUTS   (environment: VARNEL_WINE_SYSTEM, WINEPREFIX)
set -eu
dll=$1 outputs=$2
# A wine server that stays up 30 s after its last client saves every test
# the start of a new one (about 2 s each). It closes its standard streams,
# so nothing waits for it.
if command -v wineserver >/dev/null; then wineserver -p30 2>/dev/null || true; fi
rm -rf "$outputs"
mkdir -p "$outputs"
"$VARNEL_WINE_SYSTEM" regsvr32 /s "Z:${dll//\//\\}"
