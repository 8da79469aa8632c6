#!/bin/bash
# Registration leaves exactly the class's keys, once; unregistering removes them, never CLSID. Ends registered.
# Usage: registry_test.sh DLL   (environment: VARNEL_WINE_SYSTEM, VARNEL_REG_VIEW, WINEPREFIX)
set -u
dll_w="Z:${1//\//\\}"
clsid='{41583B6C-2DC8-45F1-9254-B25A6B16006A}' libid='{809F059A-350F-4EDE-9A2A-147556DA6FAD}'
failures=0
wine() { "$VARNEL_WINE_SYSTEM" "$@"; }
# A key and everything below it, one line per key or value, blank lines dropped.
query() { wine reg query "HKCR\\$1" /s "$VARNEL_REG_VIEW" 2>/dev/null | tr -d '\r' | sed '/^$/d'; }
check() { if [ "$1" = 0 ]; then echo "ok: $2"; else echo "FAIL: $2"; failures=$((failures + 1)); fi; }
I='    ' K='HKEY_CLASSES_ROOT' S='    REG_SZ    '
expected=(
"CLSID\\$clsid" "$K\\CLSID\\$clsid
$I(Default)${S}Varnel Class
$K\\CLSID\\$clsid\\InprocServer32
$I(Default)$S$dll_w
${I}ThreadingModel${S}Apartment
$K\\CLSID\\$clsid\\ProgID
$I(Default)${S}VarnelCtrl.Varnel.1
$K\\CLSID\\$clsid\\Programmable
$K\\CLSID\\$clsid\\TypeLib
$I(Default)$S$libid
$K\\CLSID\\$clsid\\VersionIndependentProgID
$I(Default)${S}VarnelCtrl.Varnel"
"VarnelCtrl.Varnel.1" "$K\\VarnelCtrl.Varnel.1
$I(Default)${S}Varnel Class
$K\\VarnelCtrl.Varnel.1\\CLSID
$I(Default)$S$clsid"
"VarnelCtrl.Varnel" "$K\\VarnelCtrl.Varnel
$I(Default)${S}Varnel Class
$K\\VarnelCtrl.Varnel\\CLSID
$I(Default)$S$clsid
$K\\VarnelCtrl.Varnel\\CurVer
$I(Default)${S}VarnelCtrl.Varnel.1")

registered() {
  for ((i = 0; i < ${#expected[@]}; i += 2)); do
    got=$(query "${expected[i]}")
    [ "$got" = "${expected[i + 1]}" ] || diff <(echo "${expected[i + 1]}") <(echo "$got")
    check $? "$1: ${expected[i]}"
  done
  query "TypeLib\\$libid\\1.0" | grep -qF "(Default)${S}VarnelCtrl 1.0 Type Library"
  check $? "$1: type library 1.0"
}
exists() { wine reg query "HKCR\\$1" "$VARNEL_REG_VIEW" >/dev/null 2>&1; }
for step in once: twice: removed:/u "removed when not registered:/u" again:; do
  label=${step%%:*} flag=${step#*:}
  wine regsvr32 $flag /s "$dll_w"
  check $? "regsvr32 $flag ($label)"
  if [ -z "$flag" ]; then registered "$label"; continue; fi
  for key in "CLSID\\$clsid" VarnelCtrl.Varnel.1 VarnelCtrl.Varnel "TypeLib\\$libid"; do
    ! exists "$key"
    check $? "$label: $key"
  done
  exists CLSID
  check $? "$label: CLSID key kept"
done
[ "$failures" = 0 ]
