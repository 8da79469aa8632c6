#include "front/varnelmodule.h"

#include "varnelctrl.h"

namespace {

HINSTANCE g_instance = nullptr;
volatile LONG g_locks = 0;
CRITICAL_SECTION g_type_info_lock;
ITypeInfo* g_type_info = nullptr;

}  // namespace

void VarnelModule::Init(HINSTANCE instance) {
  g_instance = instance;
  InitializeCriticalSection(&g_type_info_lock);
}

void VarnelModule::Term(bool process_ending) {
  if (!process_ending && g_type_info != nullptr) g_type_info->Release();
  g_type_info = nullptr;
  DeleteCriticalSection(&g_type_info_lock);
}

HINSTANCE VarnelModule::Instance() { return g_instance; }

std::wstring VarnelModule::Path() {
  std::wstring path(MAX_PATH, L'\0');
  for (;;) {
    DWORD n = GetModuleFileNameW(g_instance, &path[0], static_cast<DWORD>(path.size()));
    if (n == 0) return std::wstring();
    if (n < path.size()) {
      path.resize(n);
      return path;
    }
    path.resize(path.size() * 2);  // truncated: try a larger buffer
  }
}

void VarnelModule::Lock() { InterlockedIncrement(&g_locks); }

void VarnelModule::Unlock() { InterlockedDecrement(&g_locks); }

LONG VarnelModule::LockCount() { return InterlockedCompareExchange(&g_locks, 0, 0); }

HRESULT VarnelModule::TypeInfo(ITypeInfo** info) {
  *info = nullptr;
  HRESULT hr = S_OK;
  EnterCriticalSection(&g_type_info_lock);
  if (g_type_info == nullptr) {
    ITypeLib* library = nullptr;
    hr = LoadRegTypeLib(LIBID_VARNELCTRLLib, 1, 0, LOCALE_NEUTRAL, &library);
    if (SUCCEEDED(hr)) {
      hr = library->GetTypeInfoOfGuid(IID_IVarnel2, &g_type_info);
      library->Release();
    }
  }
  *info = g_type_info;
  LeaveCriticalSection(&g_type_info_lock);
  return hr;
}
