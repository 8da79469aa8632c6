#pragma once
#include <windows.h>
#include <oaidl.h>

#include <functional>
#include <memory>
#include <ostream>
#include <string>

#include "varnelctrl.h"

class PdfFileWriter;

// The component object: IVarnel2 (which extends IVarnel), a dual
// interface, over the PDF library. EncryptPdf reads a PDF file and gives
// back an encrypted copy (revision 3, RC4) as a byte array; every failure
// comes back as text in `error`, with S_OK. EncryptPdfWithCipher does the
// same with the cipher named (aes-256, aes-128 or rc4-128), its passwords
// taken as Unicode and prepared as the cipher's revision asks.
//
// The object can be aggregated. Its IUnknown methods then delegate to the
// outer object; the outer object holds the inner, non-delegating IUnknown.
class Varnel : public IVarnel2 {
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
  HRESULT STDMETHODCALLTYPE EncryptPdfWithCipher(BSTR pdf_path, BSTR user_password, BSTR owner_password,
                                                 BSTR permissions, BSTR cipher, VARIANT* error,
                                                 VARIANT* encrypted_pdf) override;

  // A text argument, up to its first NUL, in the ANSI code page, whole;
  // characters the code page lacks become "?". Used for the passwords and
  // the permissions.
  static std::string ToAnsi(BSTR text);
  // A text argument, up to its first NUL, as UTF-8: the form in which the
  // library takes file names, so that every file name can be opened.
  static std::string ToUtf8(BSTR text);

  // Reads the whole file into a new one-dimensional byte array (lower bound
  // 0) and stores it in result as VT_ARRAY | VT_UI1. Failures are thrown as
  // std::runtime_error; result is then untouched and nothing is leaked.
  static void ReadFileToSafeArray(const std::wstring& file_name, VARIANT* result);

  // What both methods do: make_writer makes the writer (its failures are
  // reported like any other), the file at pdf_path is read and encrypted
  // into a temporary file, and that file is handed back as a byte array.
  static HRESULT Encrypt(BSTR pdf_path, VARIANT* error, VARIANT* encrypted_pdf,
                         const std::function<std::unique_ptr<PdfFileWriter>()>& make_writer);

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
