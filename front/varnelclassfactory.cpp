#include "front/varnelclassfactory.h"

#include "front/varnel.h"
#include "front/varnelmodule.h"

VarnelClassFactory& VarnelClassFactory::Instance() {
  static VarnelClassFactory factory;
  return factory;
}

VarnelClassFactory::VarnelClassFactory() { InitializeCriticalSection(&lock_); }

VarnelClassFactory::~VarnelClassFactory() { DeleteCriticalSection(&lock_); }

HRESULT VarnelClassFactory::QueryInterface(REFIID riid, void** result) {
  if (result == nullptr) return E_POINTER;
  if (IsEqualIID(riid, IID_IUnknown) || IsEqualIID(riid, IID_IClassFactory)) {
    *result = static_cast<IClassFactory*>(this);
    AddRef();
    return S_OK;
  }
  *result = nullptr;
  return E_NOINTERFACE;
}

ULONG VarnelClassFactory::AddRef() {
  EnterCriticalSection(&lock_);
  ULONG refs = ++refs_;
  if (refs == 2) VarnelModule::Lock();
  LeaveCriticalSection(&lock_);
  return refs;
}

ULONG VarnelClassFactory::Release() {
  EnterCriticalSection(&lock_);
  // The module's own reference is never given up: the object is static.
  ULONG refs = refs_;
  if (refs > 1) {
    refs = --refs_;
    if (refs == 1) VarnelModule::Unlock();
  }
  LeaveCriticalSection(&lock_);
  return refs;
}

HRESULT VarnelClassFactory::CreateInstance(IUnknown* outer, REFIID riid, void** result) {
  if (result == nullptr) return E_POINTER;
  *result = nullptr;
  // An aggregating outer object must ask for the inner IUnknown.
  if (outer != nullptr && !IsEqualIID(riid, IID_IUnknown)) return CLASS_E_NOAGGREGATION;
  return Varnel::Create(outer, riid, result);
}

HRESULT VarnelClassFactory::LockServer(BOOL lock) {
  if (lock) {
    VarnelModule::Lock();
  } else {
    VarnelModule::Unlock();
  }
  return S_OK;
}
