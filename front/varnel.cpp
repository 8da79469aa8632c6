#include "front/varnel.h"

#include <climits>
#include <cstdio>
#include <cwchar>
#include <fstream>
#include <memory>
#include <new>
#include <stdexcept>

#include "writer/pdfcipherchoice.h"
#include "writer/pdfencryptedfilewriter.h"
#include "front/varnelmodule.h"
#include "base/kelvraruntimeerror.h"
#include "base/pdffilestream.h"

namespace {

const char kFatalMessage[] = "Fatal error parse phase. Contact Ostrel Support.";

std::string Narrow(BSTR text, UINT code_page, DWORD flags, const char* default_char) {
  if (text == nullptr) return std::string();
  // Up to the first NUL; a BSTR may hold more, but no file name or password does.
  const size_t units = std::wcslen(text);
  if (units == 0 || units > INT_MAX / 4) return std::string();
  const int source = static_cast<int>(units);
  int size = WideCharToMultiByte(code_page, flags, text, source, nullptr, 0, default_char, nullptr);
  if (size <= 0) return std::string();
  std::string out(static_cast<size_t>(size), '\0');
  size = WideCharToMultiByte(code_page, flags, text, source, &out[0], size, default_char, nullptr);
  out.resize(size > 0 ? static_cast<size_t>(size) : 0);
  return out;
}

// Creates a new empty file with the prefix "Varnel" in the temporary
// directory and returns its full name. The wide-character API works with any
// directory name.
std::wstring CreateTempFile() {
  DWORD size = GetTempPathW(0, nullptr);
  if (size == 0) throw _kelvra_runtime_error(errtext::kTempPath);
  std::wstring directory(size, L'\0');
  DWORD length = GetTempPathW(size, &directory[0]);
  if (length == 0 || length >= size) throw _kelvra_runtime_error(errtext::kTempPath);
  directory.resize(length);
  wchar_t name[MAX_PATH + 1] = {};
  if (GetTempFileNameW(directory.c_str(), L"Varnel", 0, name) == 0) throw _kelvra_runtime_error(errtext::kTempFileName);
  return name;
}

// Replaces the caller's `error` with the message text as a BSTR. The
// previous content is released first: the argument is in-out, so its old
// value is ours to free. Allocates nothing that can throw.
void SetError(VARIANT* error, const char* message) {
  VariantClear(error);
  int units = MultiByteToWideChar(CP_ACP, 0, message, -1, nullptr, 0);
  BSTR text = SysAllocStringLen(nullptr, units > 0 ? static_cast<UINT>(units - 1) : 0);
  if (text != nullptr && units > 1) MultiByteToWideChar(CP_ACP, 0, message, -1, text, units);
  V_VT(error) = VT_BSTR;
  V_BSTR(error) = text;
}

struct FileCloser {
  void operator()(FILE* file) const { std::fclose(file); }
};

struct ArrayDestroyer {
  void operator()(SAFEARRAY* array) const { SafeArrayDestroy(array); }
};

}  // namespace

HRESULT Varnel::Create(IUnknown* outer, REFIID riid, void** result) {
  Varnel* object = new (std::nothrow) Varnel(outer);
  if (object == nullptr) return E_OUTOFMEMORY;
  // The inner reference that construction gave is released after the query:
  // if the query failed, that destroys the object again.
  HRESULT hr = object->inner_.QueryInterface(riid, result);
  object->inner_.Release();
  return hr;
}

Varnel::Varnel(IUnknown* outer) : inner_(this), outer_(outer != nullptr ? outer : &inner_) { VarnelModule::Lock(); }

Varnel::~Varnel() { VarnelModule::Unlock(); }

HRESULT Varnel::Inner::QueryInterface(REFIID riid, void** result) {
  if (result == nullptr) return E_POINTER;
  if (IsEqualIID(riid, IID_IUnknown)) {
    *result = static_cast<IUnknown*>(this);
  } else if (IsEqualIID(riid, IID_IDispatch) || IsEqualIID(riid, IID_IVarnel) || IsEqualIID(riid, IID_IVarnel2)) {
    *result = static_cast<IVarnel2*>(owner_);
  } else {
    *result = nullptr;
    return E_NOINTERFACE;
  }
  static_cast<IUnknown*>(*result)->AddRef();
  return S_OK;
}

ULONG Varnel::Inner::AddRef() { return ++owner_->refs_; }

ULONG Varnel::Inner::Release() {
  ULONG refs = --owner_->refs_;
  if (refs == 0) delete owner_;
  return refs;
}

HRESULT Varnel::QueryInterface(REFIID riid, void** result) { return outer_->QueryInterface(riid, result); }

ULONG Varnel::AddRef() { return outer_->AddRef(); }

ULONG Varnel::Release() { return outer_->Release(); }

HRESULT Varnel::GetTypeInfoCount(UINT* count) {
  if (count == nullptr) return E_POINTER;
  *count = 1;
  return S_OK;
}

HRESULT Varnel::GetTypeInfo(UINT index, LCID, ITypeInfo** info) {
  if (info == nullptr) return E_POINTER;
  *info = nullptr;
  if (index != 0) return DISP_E_BADINDEX;
  HRESULT hr = VarnelModule::TypeInfo(info);
  if (SUCCEEDED(hr)) (*info)->AddRef();
  return hr;
}

HRESULT Varnel::GetIDsOfNames(REFIID riid, LPOLESTR* names, UINT count, LCID, DISPID* ids) {
  if (!IsEqualIID(riid, IID_NULL)) return DISP_E_UNKNOWNINTERFACE;
  ITypeInfo* info = nullptr;
  HRESULT hr = VarnelModule::TypeInfo(&info);
  if (FAILED(hr)) return hr;
  return DispGetIDsOfNames(info, names, count, ids);
}

HRESULT Varnel::Invoke(DISPID id, REFIID riid, LCID, WORD flags, DISPPARAMS* params, VARIANT* result,
                       EXCEPINFO* exception, UINT* bad_argument) {
  if (!IsEqualIID(riid, IID_NULL)) return DISP_E_UNKNOWNINTERFACE;
  ITypeInfo* info = nullptr;
  HRESULT hr = VarnelModule::TypeInfo(&info);
  if (FAILED(hr)) return hr;
  return DispInvoke(static_cast<IVarnel2*>(this), info, id, flags, params, result, exception, bad_argument);
}

HRESULT Varnel::EncryptPdf(BSTR pdf_path, BSTR user_password, BSTR owner_password, BSTR permissions, VARIANT* error,
                           VARIANT* encrypted_pdf) {
  return Encrypt(pdf_path, error, encrypted_pdf, [&] {
    return std::unique_ptr<PdfFileWriter>(
        new PdfEncryptedFileWriter(ToAnsi(user_password), ToAnsi(owner_password), ToAnsi(permissions)));
  });
}

HRESULT Varnel::EncryptPdfWithCipher(BSTR pdf_path, BSTR user_password, BSTR owner_password, BSTR permissions,
                                     BSTR cipher, VARIANT* error, VARIANT* encrypted_pdf) {
  return Encrypt(pdf_path, error, encrypted_pdf, [&] {
    PdfCipherChoice::Cipher choice;
    if (!PdfCipherChoice::Parse(SysStringLen(cipher) == 0 ? "aes-256" : ToUtf8(cipher), &choice))
      throw _kelvra_runtime_error(errtext::kComCipher);
    SecretString user, owner;
    if (!PdfCipherChoice::PreparePassword(choice, ToUtf8(user_password), &user) ||
        !PdfCipherChoice::PreparePassword(choice, ToUtf8(owner_password), &owner))
      throw _kelvra_runtime_error(errtext::kComPassword);
    return PdfCipherChoice::NewWriter(choice, user, owner, ToAnsi(permissions));
  });
}

HRESULT Varnel::Encrypt(BSTR pdf_path, VARIANT* error, VARIANT* encrypted_pdf,
                        const std::function<std::unique_ptr<PdfFileWriter>()>& make_writer) {
  if (SysStringLen(pdf_path) == 0 || error == nullptr || encrypted_pdf == nullptr) return E_INVALIDARG;

  std::wstring temp_file;  // empty until the file exists
  {
    // The output stream is closed before the temporary file is deleted, on
    // the road of success and on that of failure.
    std::ofstream output;
    try {
      temp_file = CreateTempFile();
      output.open(temp_file.c_str(), std::ios::out | std::ios::binary);
      if (!output.is_open()) throw _kelvra_runtime_error(errtext::kTempFileOpen);
      {
        // Destroyed in reverse order, also when an exception passes: the
        // input stream first, which closes the input file, then the writer.
        std::unique_ptr<PdfFileWriter> writer = make_writer();
        writer->SetRepair(true);  // a damaged file is repaired, as the command-line tool does
        PdfFileStream input;
        input.Abrir(ToUtf8(pdf_path).c_str(), "rb");
        writer->WriteDocument(input, output);
      }
      output.close();
      // A full disk would otherwise hand back a cut file as a success.
      if (output.fail()) throw _kelvra_runtime_error(errtext::kTempFileWrite);
      ReadFileToSafeArray(temp_file, encrypted_pdf);
    } catch (const _kelvra_runtime_error& failure) {
      SetError(error, failure.message.c_str());
    } catch (const std::runtime_error& failure) {
      SetError(error, failure.what());
    } catch (...) {
      SetError(error, kFatalMessage);
    }
  }
  if (!temp_file.empty()) DeleteFileW(temp_file.c_str());
  return S_OK;
}

std::string Varnel::ToAnsi(BSTR text) { return Narrow(text, CP_ACP, WC_NO_BEST_FIT_CHARS, "?"); }

std::string Varnel::ToUtf8(BSTR text) { return Narrow(text, CP_UTF8, 0, nullptr); }

void Varnel::ReadFileToSafeArray(const std::wstring& file_name, VARIANT* result) {
  std::unique_ptr<FILE, FileCloser> file(_wfopen(file_name.c_str(), L"rb"));
  if (!file) throw std::runtime_error("CFile::open");
  if (_fseeki64(file.get(), 0, SEEK_END) != 0) throw std::runtime_error("CFile::open");
  const long long length = _ftelli64(file.get());
  if (length < 0 || _fseeki64(file.get(), 0, SEEK_SET) != 0) throw std::runtime_error("CFile::open");
  // A SAFEARRAY counts its elements in 32 bits.
  if (static_cast<unsigned long long>(length) > 0xFFFFFFFFull) {
    throw std::runtime_error("Varnel::ReadFileToSafeArray:too large");
  }
  SAFEARRAYBOUND bound;
  bound.cElements = static_cast<ULONG>(length);
  bound.lLbound = 0;
  std::unique_ptr<SAFEARRAY, ArrayDestroyer> array(SafeArrayCreate(VT_UI1, 1, &bound));
  if (!array) throw std::runtime_error("error en SafeArrayCreate()");
  void* data = nullptr;
  if (SafeArrayAccessData(array.get(), &data) != S_OK) throw std::runtime_error("error en SafeArrayAccessData()");
  const size_t read = std::fread(data, 1, bound.cElements, file.get());
  if (SafeArrayUnaccessData(array.get()) != S_OK) throw std::runtime_error("error en SafeArrayUnaccessData()");
  // A short read would hand back a damaged file as a success.
  if (read != bound.cElements) throw std::runtime_error("Varnel::ReadFileToSafeArray:fread");
  V_VT(result) = VT_ARRAY | VT_UI1;
  V_ARRAY(result) = array.release();
}
