// Entry points of VarnelCtrl.dll: the loader's DllMain and the four exports
// of an in-process COM server (see varnelctrl.def).
#include <windows.h>
#include <objbase.h>

#include "front/varnelclassfactory.h"
#include "front/varnelmodule.h"
#include "front/varnelregistrar.h"
#include "varnelctrl.h"

extern "C" BOOL WINAPI DllMain(HINSTANCE instance, DWORD reason, LPVOID reserved) {
  if (reason == DLL_PROCESS_ATTACH) {
    DisableThreadLibraryCalls(instance);
    VarnelModule::Init(instance);
  } else if (reason == DLL_PROCESS_DETACH) {
    // A non-null reserved pointer means the process is ending.
    VarnelModule::Term(reserved != nullptr);
  }
  return TRUE;
}

STDAPI DllGetClassObject(REFCLSID clsid, REFIID riid, LPVOID* result) {
  if (result == nullptr) return E_POINTER;
  *result = nullptr;
  if (!IsEqualCLSID(clsid, CLSID_Varnel)) return CLASS_E_CLASSNOTAVAILABLE;
  return VarnelClassFactory::Instance().QueryInterface(riid, result);
}

STDAPI DllCanUnloadNow() { return VarnelModule::LockCount() == 0 ? S_OK : S_FALSE; }

STDAPI DllRegisterServer() { return VarnelRegistrar::Register(); }

STDAPI DllUnregisterServer() { return VarnelRegistrar::Unregister(); }
