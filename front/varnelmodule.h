#pragma once
#include <windows.h>
#include <oaidl.h>

#include <string>

// Module-wide state of the component DLL: its handle, the lock count that
// DllCanUnloadNow reads, and the type information of IVarnel2, which IDispatch
// is served from. Everything else in the module is per object or per call.
class VarnelModule {
 public:
  // Called from DllMain on load and unload. Term releases the type
  // information unless the whole process is ending (other DLLs may be gone).
  static void Init(HINSTANCE instance);
  static void Term(bool process_ending);

  static HINSTANCE Instance();
  // Full path of the DLL, as registration records it.
  static std::wstring Path();

  // The lock count: one per live Varnel object, per LockServer(TRUE), and one
  // while the class object is held from outside. Changed atomically.
  static void Lock();
  static void Unlock();
  static LONG LockCount();

  // IVarnel2's type information from the registered type library (version
  // 1.0), loaded on first use and kept until the module is unloaded. The
  // pointer is borrowed: callers AddRef it if they hand it out.
  static HRESULT TypeInfo(ITypeInfo** info);
};
