#include "front/varnelregistrar.h"

#include <oleauto.h>

#include <string>

#include "front/varnelmodule.h"
#include "varnelctrl.h"

namespace {

// Registry entries under HKEY_CLASSES_ROOT. A null name is the key's default
// value; a null value creates the key alone. %CLSID%, %LIBID% and %MODULE%
// are replaced by the class GUID, the library GUID and the DLL's full path.
struct Entry {
  const wchar_t* key;
  const wchar_t* name;
  const wchar_t* value;
};

const Entry kEntries[] = {
    {L"VarnelCtrl.Varnel.1", nullptr, L"Varnel Class"},
    {L"VarnelCtrl.Varnel.1\\CLSID", nullptr, L"%CLSID%"},
    {L"VarnelCtrl.Varnel", nullptr, L"Varnel Class"},
    {L"VarnelCtrl.Varnel\\CLSID", nullptr, L"%CLSID%"},
    {L"VarnelCtrl.Varnel\\CurVer", nullptr, L"VarnelCtrl.Varnel.1"},
    {L"CLSID\\%CLSID%", nullptr, L"Varnel Class"},
    {L"CLSID\\%CLSID%\\ProgID", nullptr, L"VarnelCtrl.Varnel.1"},
    {L"CLSID\\%CLSID%\\VersionIndependentProgID", nullptr, L"VarnelCtrl.Varnel"},
    {L"CLSID\\%CLSID%\\Programmable", nullptr, nullptr},
    {L"CLSID\\%CLSID%\\InprocServer32", nullptr, L"%MODULE%"},
    {L"CLSID\\%CLSID%\\InprocServer32", L"ThreadingModel", L"Apartment"},
    {L"CLSID\\%CLSID%\\TypeLib", nullptr, L"%LIBID%"},
};

// The keys that registration owns, each removed whole.
const wchar_t* const kOwnedKeys[] = {L"VarnelCtrl.Varnel.1", L"VarnelCtrl.Varnel", L"CLSID\\%CLSID%"};

std::wstring GuidText(REFGUID guid) {
  wchar_t text[40] = {};
  StringFromGUID2(guid, text, 40);
  return text;
}

std::wstring Expand(const wchar_t* pattern, const std::wstring& module) {
  const std::pair<std::wstring, std::wstring> fields[] = {
      {L"%CLSID%", GuidText(CLSID_Varnel)}, {L"%LIBID%", GuidText(LIBID_VARNELCTRLLib)}, {L"%MODULE%", module}};
  std::wstring text = pattern;
  for (const auto& field : fields) {
    for (size_t at = text.find(field.first); at != std::wstring::npos;
         at = text.find(field.first, at + field.second.size())) {
      text.replace(at, field.first.size(), field.second);
    }
  }
  return text;
}

HRESULT RemoveKeys() {
  for (const wchar_t* key : kOwnedKeys) {
    LSTATUS status = RegDeleteTreeW(HKEY_CLASSES_ROOT, Expand(key, std::wstring()).c_str());
    if (status != ERROR_SUCCESS && status != ERROR_FILE_NOT_FOUND) return HRESULT_FROM_WIN32(status);
  }
  return S_OK;
}

HRESULT WriteEntry(const Entry& entry, const std::wstring& module) {
  HKEY key = nullptr;
  LSTATUS status = RegCreateKeyExW(HKEY_CLASSES_ROOT, Expand(entry.key, module).c_str(), 0, nullptr, 0, KEY_SET_VALUE,
                                   nullptr, &key, nullptr);
  if (status != ERROR_SUCCESS) return HRESULT_FROM_WIN32(status);
  if (entry.value != nullptr) {
    std::wstring value = Expand(entry.value, module);
    status = RegSetValueExW(key, entry.name, 0, REG_SZ, reinterpret_cast<const BYTE*>(value.c_str()),
                            static_cast<DWORD>((value.size() + 1) * sizeof(wchar_t)));
  }
  RegCloseKey(key);
  return HRESULT_FROM_WIN32(status);
}

}  // namespace

HRESULT VarnelRegistrar::Register() {
  const std::wstring module = VarnelModule::Path();
  if (module.empty()) return HRESULT_FROM_WIN32(GetLastError());
  HRESULT hr = RemoveKeys();
  for (const Entry& entry : kEntries) {
    if (FAILED(hr)) return hr;
    hr = WriteEntry(entry, module);
  }
  if (FAILED(hr)) return hr;
  // The type library is resource TYPELIB 1 of this module.
  ITypeLib* library = nullptr;
  hr = LoadTypeLibEx(module.c_str(), REGKIND_REGISTER, &library);
  if (SUCCEEDED(hr)) library->Release();
  return hr;
}

HRESULT VarnelRegistrar::Unregister() {
  HRESULT hr = RemoveKeys();
  if (FAILED(hr)) return hr;
#ifdef _WIN64
  const SYSKIND kind = SYS_WIN64;
#else
  const SYSKIND kind = SYS_WIN32;
#endif
  // A library that is not registered (any more) is what we want; systems
  // differ in the error they give for it, so ask first.
  BSTR registered = nullptr;
  if (FAILED(QueryPathOfRegTypeLib(LIBID_VARNELCTRLLib, 1, 0, LOCALE_NEUTRAL, &registered))) return S_OK;
  SysFreeString(registered);
  return UnRegisterTypeLib(LIBID_VARNELCTRLLib, 1, 0, LOCALE_NEUTRAL, kind);
}
