#pragma once
#include <windows.h>
#include <unknwn.h>

// The class object of Varnel: one static instance for the life of the module.
// The module holds one reference of its own; while anyone else holds one too
// (the count is 2 or more), the class object holds a module lock, so that
// DllCanUnloadNow refuses to unload it from under its users.
class VarnelClassFactory : public IClassFactory {
 public:
  static VarnelClassFactory& Instance();

  HRESULT STDMETHODCALLTYPE QueryInterface(REFIID riid, void** result) override;
  ULONG STDMETHODCALLTYPE AddRef() override;
  ULONG STDMETHODCALLTYPE Release() override;

  HRESULT STDMETHODCALLTYPE CreateInstance(IUnknown* outer, REFIID riid, void** result) override;
  HRESULT STDMETHODCALLTYPE LockServer(BOOL lock) override;

 private:
  VarnelClassFactory();
  ~VarnelClassFactory();
  VarnelClassFactory(const VarnelClassFactory&) = delete;
  VarnelClassFactory& operator=(const VarnelClassFactory&) = delete;

  CRITICAL_SECTION lock_;
  ULONG refs_ = 1;  // the module's own reference
};
