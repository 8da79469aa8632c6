#!/bin/bash
# Registration leaves exactly the class's keys in the registry (read back with
# Wine's reg), registering twice leaves one set, and unregistering removes
# them all but never the CLSID key itself. Ends registered.
# Usage: registry_test.sh DLL
# Environment: VARNEL_WINE_SYSTEM (wine loader of the DLL's bitness),
# VARNEL_REG_VIEW (/reg:64 or /reg:32), WINEPREFIX.
set -u
dll_w="Z:${1//\//\\}"
clsid='{41583B6C-2DC8-45F1-9254-B25A6B16006A}'
libid='{809F059A-350F-4EDE-9A2A-147556DA6FAD}'
hkcr='HKEY_CLASSES_ROOT'
failures=0

wine_run() { "$VARNEL_WINE_SYSTEM" "$@"; }
# A key and everything below it, one line per key or value, blank lines dropped.
query() { wine_run reg query "$1" /s "$VARNEL_REG_VIEW" 2>/dev/null | tr -d '\r' | sed '/^$/d'; }
exists() { wine_run reg query "$1" "$VARNEL_REG_VIEW" >/dev/null 2>&1; }
check() {
  if [ "$1" = 0 ]; then echo "ok: $2"; else echo "FAIL: $2"; failures=$((failures + 1)); fi
}
same() {  # name expected actual
  if [ "$2" = "$3" ]; then
    check 0 "$1"
  else
    check 1 "$1"
    diff <(echo "$2") <(echo "$3")
  fi
}
indent='    '
expected_class="$hkcr\\CLSID\\$clsid
$indent(Default)    REG_SZ    Varnel Class
$hkcr\\CLSID\\$clsid\\InprocServer32
$indent(Default)    REG_SZ    $dll_w
${indent}ThreadingModel    REG_SZ    Apartment
$hkcr\\CLSID\\$clsid\\ProgID
$indent(Default)    REG_SZ    VarnelCtrl.Varnel.1
$hkcr\\CLSID\\$clsid\\Programmable
$hkcr\\CLSID\\$clsid\\TypeLib
$indent(Default)    REG_SZ    $libid
$hkcr\\CLSID\\$clsid\\VersionIndependentProgID
$indent(Default)    REG_SZ    VarnelCtrl.Varnel"
expected_progid="$hkcr\\VarnelCtrl.Varnel.1
$indent(Default)    REG_SZ    Varnel Class
$hkcr\\VarnelCtrl.Varnel.1\\CLSID
$indent(Default)    REG_SZ    $clsid"
expected_independent="$hkcr\\VarnelCtrl.Varnel
$indent(Default)    REG_SZ    Varnel Class
$hkcr\\VarnelCtrl.Varnel\\CLSID
$indent(Default)    REG_SZ    $clsid
$hkcr\\VarnelCtrl.Varnel\\CurVer
$indent(Default)    REG_SZ    VarnelCtrl.Varnel.1"

check_registered() {
  same "$1: class key" "$expected_class" "$(query "HKCR\\CLSID\\$clsid")"
  same "$1: ProgID" "$expected_progid" "$(query 'HKCR\VarnelCtrl.Varnel.1')"
  same "$1: version-independent ProgID" "$expected_independent" "$(query 'HKCR\VarnelCtrl.Varnel')"
  local typelib
  typelib=$(query "HKCR\\TypeLib\\$libid\\1.0")
  echo "$typelib" | grep -qF '(Default)    REG_SZ    VarnelCtrl 1.0 Type Library'
  check $? "$1: type library 1.0 registered"
}

wine_run regsvr32 /s "$dll_w"
check $? "regsvr32"
check_registered "registered once"

wine_run regsvr32 /s "$dll_w"
check $? "regsvr32 again"
check_registered "registered twice"

wine_run regsvr32 /u /s "$dll_w"
check $? "regsvr32 /u"
for key in "HKCR\\CLSID\\$clsid" 'HKCR\VarnelCtrl.Varnel.1' 'HKCR\VarnelCtrl.Varnel' "HKCR\\TypeLib\\$libid"; do
  ! exists "$key"
  check $? "unregistered: $key removed"
done
exists 'HKCR\CLSID'
check $? "unregistered: CLSID key kept"

wine_run regsvr32 /u /s "$dll_w"
check $? "regsvr32 /u when not registered"

wine_run regsvr32 /s "$dll_w"
check $? "registered again"
check_registered "registered again"

[ "$failures" = 0 ]
