#!/bin/bash
# Registers the component in the test prefix and empties the folder where the
# COM client leaves its encrypted files for qpdf_check.sh.
# Usage: prepare.sh DLL OUTPUTS   (environment: VARNEL_WINE_SYSTEM, WINEPREFIX)
set -eu
dll=$1 outputs=$2
rm -rf "$outputs"
mkdir -p "$outputs"
"$VARNEL_WINE_SYSTEM" regsvr32 /s "Z:${dll//\//\\}"
