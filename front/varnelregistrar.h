#pragma once
#include <windows.h>

// What DllRegisterServer and DllUnregisterServer do: the ProgID keys, the
// class's key under CLSID and the type library embedded in the module.
//
// Registration first removes what an earlier registration wrote, so running
// it twice leaves one set of keys. Unregistration removes the class's subkey
// of CLSID whole but never the CLSID key itself.
class VarnelRegistrar {
 public:
  static HRESULT Register();
  static HRESULT Unregister();
};
