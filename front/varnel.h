#pragma once
#include <windows.h>
#include <oaidl.h>

#include <ostream>
#include <string>

#include "varnelctrl.h"

// The component object: IVarnel, a dual interface, over the PDF library.
// EncryptPdf reads a PDF file and gives back an encrypted copy as a byte
// array; every failure comes back as text in `error`, with S_OK.
//
// The object can be aggregated. Its IUnknown methods then delegate to the
// outer object; the outer object holds the inner, non-delegating IUnknown.
class Varnel : public IVarnel {
 public:
  // Creates an object and queries it for riid. An outer object may only ask
  // for IUnknown; the class object checks that before calling.
  static HRESULT Create(IUnknown* outer, REFIID riid, void** result);

  HRESULT STDMETHODCALLTYPE QueryInterface(REFIID riid, void** result) override;
  ULONG STDMETHODCALLTYPE AddRef() override;
  ULONG STDMETHODCALLTYPE Release() override;

  HRESULT STDMETHODCALLTYPE GetTypeInfoCount(UINT* count) override;
  HRESULT STDMETHODCALLTYPE GetTypeInfo(UINT index, LCID lcid, ITypeInfo** info) override;
  HRESULT STDMETHODCALLTYPE GetIDsOfNames(REFIID riid, LPOLESTR* names, UINT count, LCID lcid, DISPID* ids) override;
  HRESULT STDMETHODCALLTYPE Invoke(DISPID id, REFIID riid, LCID lcid, WORD flags, DISPPARAMS* params, VARIANT* result,
                                   EXCEPINFO* exception, UINT* bad_argument) override;

  HRESULT STDMETHODCALLTYPE EncryptPdf(BSTR pdf_path, BSTR user_password, BSTR owner_password, BSTR permissions,
                                       VARIANT* error, VARIANT* encrypted_pdf) override;

  // A text argument, up to its first NUL, in the ANSI code page, whole;
  // characters the code page lacks become "?". Used for the passwords and
  // the permissions.
  static std::string ToAnsi(BSTR text);
  // A text argument, up to its first NUL, as UTF-8: the form in which the
  // library takes file names, so that every file name can be opened.
  static std::string ToUtf8(BSTR text);

  // Reads the PDF file at pdf_path (UTF-8) and writes its encrypted copy to
  // output. Library failures pass through as exceptions.
  static void RunEncryption(const std::string& pdf_path, const std::string& user_password,
                            const std::string& owner_password, const std::string& permissions, std::ostream& output);

  // Reads the whole file into a new one-dimensional byte array (lower bound
  // 0) and stores it in result as VT_ARRAY | VT_UI1. Failures are thrown as
  // std::runtime_error; result is then untouched and nothing is leaked.
  static void ReadFileToSafeArray(const std::wstring& file_name, VARIANT* result);

 private:
  // The non-delegating IUnknown: the object's identity and reference count.
  class Inner : public IUnknown {
   public:
    explicit Inner(Varnel* owner) : owner_(owner) {}
    HRESULT STDMETHODCALLTYPE QueryInterface(REFIID riid, void** result) override;
    ULONG STDMETHODCALLTYPE AddRef() override;
    ULONG STDMETHODCALLTYPE Release() override;

   private:
    Varnel* owner_;
  };

  explicit Varnel(IUnknown* outer);
  virtual ~Varnel();
  Varnel(const Varnel&) = delete;
  Varnel& operator=(const Varnel&) = delete;

  Inner inner_;
  IUnknown* outer_;  // the aggregating object, or the inner IUnknown
  ULONG refs_ = 1;   // apartment-threaded: only the owning thread touches it
};
