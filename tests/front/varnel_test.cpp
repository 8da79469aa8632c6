// The COM component seen from a C++ client under Wine: VarnelCtrl.dll is
// registered (front.prepare) and every call goes through COM. Encrypted
// files that come back are saved in VARNEL_OUTPUTS with the passwords they
// were made with, for qpdf_check.sh on the Linux side.
#include <windows.h>
#include <oaidl.h>
#include <oleauto.h>

#include <gtest/gtest.h>

#include <cstdio>
#include <string>
#include <vector>

#include "varnelctrl.h"

namespace {

const std::wstring kCorpus = L"" VARNEL_CORPUS;
const std::wstring kOutputs = L"" VARNEL_OUTPUTS;
const wchar_t kDll[] = L"" VARNEL_CTRL_DLL;
const char kFopenMessage[] = "PdfParser::Abrir:fopen";

// /P for the permissions "PC" (print, copy) and for none at all.
const int kPrintCopy = -1836;
const int kNothing = -3904;

class Bstr {
 public:
  explicit Bstr(const wchar_t* text) : text_(text != nullptr ? SysAllocString(text) : nullptr) {}
  explicit Bstr(const std::wstring& text) : text_(SysAllocStringLen(text.data(), static_cast<UINT>(text.size()))) {}
  ~Bstr() { SysFreeString(text_); }
  Bstr(const Bstr&) = delete;
  Bstr& operator=(const Bstr&) = delete;
  operator BSTR() const { return text_; }

 private:
  BSTR text_;
};

struct Variant : VARIANT {
  Variant() { VariantInit(this); }
  // A value the component must leave alone.
  explicit Variant(LONG sentinel) {
    VariantInit(this);
    V_VT(this) = VT_I4;
    V_I4(this) = sentinel;
  }
  ~Variant() { VariantClear(this); }
  Variant(const Variant&) = delete;
  Variant& operator=(const Variant&) = delete;
};

bool IsSentinel(const VARIANT& v, LONG sentinel) { return V_VT(&v) == VT_I4 && V_I4(&v) == sentinel; }

std::string Narrow(const std::wstring& text) {
  int n = WideCharToMultiByte(CP_UTF8, 0, text.c_str(), -1, nullptr, 0, nullptr, nullptr);
  std::string out(n > 0 ? n - 1 : 0, '\0');
  if (n > 1) WideCharToMultiByte(CP_UTF8, 0, text.c_str(), -1, &out[0], n, nullptr, nullptr);
  return out;
}

std::string ErrorText(const VARIANT& error) {
  if (V_VT(&error) != VT_BSTR) return "<not a BSTR>";
  return Narrow(V_BSTR(&error) != nullptr ? V_BSTR(&error) : L"");
}

// The bytes of a VT_ARRAY | VT_UI1 result; checks the array's shape on the way.
std::string ResultBytes(const VARIANT& result) {
  EXPECT_EQ(VT_ARRAY | VT_UI1, V_VT(&result));
  if (V_VT(&result) != (VT_ARRAY | VT_UI1)) return std::string();
  SAFEARRAY* array = V_ARRAY(&result);
  EXPECT_EQ(1u, SafeArrayGetDim(array));
  LONG lower = -1, upper = -1;
  SafeArrayGetLBound(array, 1, &lower);
  SafeArrayGetUBound(array, 1, &upper);
  EXPECT_EQ(0, lower);
  void* data = nullptr;
  if (FAILED(SafeArrayAccessData(array, &data))) return std::string();
  std::string bytes(static_cast<const char*>(data), static_cast<size_t>(upper - lower + 1));
  SafeArrayUnaccessData(array);
  return bytes;
}

void ExpectEncryptedPdf(const std::string& bytes) {
  EXPECT_EQ("%PDF-1.5\n", bytes.substr(0, 9));
  EXPECT_NE(std::string::npos, bytes.find("/Encrypt", bytes.size() > 2048 ? bytes.size() - 2048 : 0));
  EXPECT_NE(std::string::npos, bytes.rfind("%%EOF"));
}

void MakeDirs(const std::wstring& path) {
  for (size_t at = path.find_first_of(L"\\/", 3); at != std::wstring::npos; at = path.find_first_of(L"\\/", at + 1)) {
    CreateDirectoryW(path.substr(0, at).c_str(), nullptr);
  }
  CreateDirectoryW(path.c_str(), nullptr);
}

void WriteFile(const std::wstring& path, const std::string& bytes) {
  FILE* file = _wfopen(path.c_str(), L"wb");
  ASSERT_NE(nullptr, file) << Narrow(path);
  fwrite(bytes.data(), 1, bytes.size(), file);
  fclose(file);
}

std::string ReadFile(const std::wstring& path) {
  std::string bytes;
  FILE* file = _wfopen(path.c_str(), L"rb");
  if (file == nullptr) return bytes;
  char buffer[65536];
  for (size_t n; (n = fread(buffer, 1, sizeof buffer, file)) > 0;) bytes.append(buffer, n);
  fclose(file);
  return bytes;
}

// Leaves an encrypted file for qpdf_check.sh: NAME.pdf and NAME.expect with
// the user password, the owner password and /P as qpdf sees them.
void SaveForQpdf(const std::string& name, const std::string& bytes, const std::string& user, const std::string& owner,
                 int p, int revision = 3) {
  MakeDirs(kOutputs);
  const std::wstring base = kOutputs + L"/" + std::wstring(name.begin(), name.end());
  WriteFile(base + L".pdf", bytes);
  WriteFile(base + L".expect", user + "\n" + owner + "\n" + std::to_string(p) + "\n" + std::to_string(revision) + "\n");
}

std::vector<std::wstring> Entries(const std::wstring& directory) {
  std::vector<std::wstring> names;
  WIN32_FIND_DATAW found;
  HANDLE find = FindFirstFileW((directory + L"\\*").c_str(), &found);
  if (find == INVALID_HANDLE_VALUE) return names;
  do {
    std::wstring name = found.cFileName;
    if (name != L"." && name != L"..") names.push_back(name);
  } while (FindNextFileW(find, &found));
  FindClose(find);
  return names;
}

// Each test gets a fresh, empty temporary directory (TMP and TEMP), so that
// a file the component leaves behind is seen.
class VarnelTest : public ::testing::Test {
 protected:
  void SetUp() override {
    const auto* info = ::testing::UnitTest::GetInstance()->current_test_info();
    temp_ = kOutputs + L"\\temp\\" + Widen(info->name());
    UseTempDirectory(temp_);
    ASSERT_EQ(S_OK, CoCreateInstance(CLSID_Varnel, nullptr, CLSCTX_INPROC_SERVER, IID_IVarnel,
                                     reinterpret_cast<void**>(&varnel_)));
  }

  void TearDown() override {
    if (varnel_ != nullptr) varnel_->Release();
  }

  static std::wstring Widen(const std::string& ascii) { return std::wstring(ascii.begin(), ascii.end()); }

  // Points TMP and TEMP at a new empty directory of this name.
  void UseTempDirectory(const std::wstring& directory) {
    temp_ = directory;
    MakeDirs(temp_);
    for (const std::wstring& name : Entries(temp_)) DeleteFileW((temp_ + L"\\" + name).c_str());
    SetEnvironmentVariableW(L"TMP", temp_.c_str());
    SetEnvironmentVariableW(L"TEMP", temp_.c_str());
  }

  HRESULT Encrypt(const std::wstring& path, const wchar_t* user, const wchar_t* owner, const wchar_t* permissions,
                  VARIANT* error, VARIANT* result) {
    Bstr p(path), u(user), o(owner), s(permissions);
    return varnel_->EncryptPdf(p, u, o, s, error, result);
  }

  void ExpectTempDirectoryEmpty() { EXPECT_TRUE(Entries(temp_).empty()) << "left in " << Narrow(temp_); }

  IVarnel* varnel_ = nullptr;
  std::wstring temp_;
};

TEST_F(VarnelTest, RefusedArgumentsTouchNothing) {
  struct Row {
    const wchar_t* path;
    bool pass_error;
    bool pass_result;
  };
  const std::wstring pdf = kCorpus + L"/classic-02.pdf";
  const Row rows[] = {
      {L"", true, true},             // empty path
      {nullptr, true, true},         // null BSTR: COM's empty string
      {pdf.c_str(), false, true},    // no error argument
      {pdf.c_str(), true, false},    // no result argument
  };
  for (const Row& row : rows) {
    Variant error(0x1234), result(0x5678);
    Bstr path(row.path), user(L"u"), owner(L"o"), permissions(L"P");
    EXPECT_EQ(E_INVALIDARG, varnel_->EncryptPdf(path, user, owner, permissions, row.pass_error ? &error : nullptr,
                                                row.pass_result ? &result : nullptr));
    EXPECT_TRUE(IsSentinel(error, 0x1234));
    EXPECT_TRUE(IsSentinel(result, 0x5678));
    ExpectTempDirectoryEmpty();
  }
}

TEST_F(VarnelTest, FailuresComeBackAsTextWithSOk) {
  // A PDF whose first object is damaged while the cross-reference data is
  // intact: the failure happens in the middle of the rewrite.
  std::string damaged = ReadFile(kCorpus + L"/classic-02.pdf");
  const size_t object = damaged.find(" 0 obj");
  ASSERT_NE(std::string::npos, object);
  damaged.replace(object + 3, 3, "xbj");
  WriteFile(temp_ + L"\\..\\damaged.pdf", damaged);
  WriteFile(temp_ + L"\\..\\text.pdf", "plain text, not a PDF file\n");

  struct Row {
    std::wstring path;
    const char* message;  // null: any non-empty library message
  };
  const Row rows[] = {
      {kCorpus + L"/no-such-file.pdf", kFopenMessage},
      {kCorpus, kFopenMessage},                                  // a directory
      {temp_ + L"\\..\\text.pdf", "No es archivo pdf."},
      {kCorpus + L"/classic-encrypted-01.pdf", "Encrypted"},     // refused, never re-encrypted
      {temp_ + L"\\..\\damaged.pdf", nullptr},                   // fails deep in the writer
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(Narrow(row.path));
    Variant error(0x1234), result(0x5678);
    EXPECT_EQ(S_OK, Encrypt(row.path, L"user", L"owner", L"PC", &error, &result));
    if (row.message != nullptr) {
      EXPECT_EQ(row.message, ErrorText(error));
    } else {
      EXPECT_EQ(VT_BSTR, V_VT(&error));
      EXPECT_NE("", ErrorText(error));
    }
    EXPECT_TRUE(IsSentinel(result, 0x5678));
    ExpectTempDirectoryEmpty();
  }
}

TEST_F(VarnelTest, SuccessReturnsTheEncryptedFile) {
  Variant error(0x1234), result(0x5678);
  ASSERT_EQ(S_OK, Encrypt(kCorpus + L"/classic-02.pdf", L"user", L"owner", L"PC", &error, &result));
  EXPECT_TRUE(IsSentinel(error, 0x1234)) << ErrorText(error);
  const std::string bytes = ResultBytes(result);
  ExpectEncryptedPdf(bytes);
  ExpectTempDirectoryEmpty();
  SaveForQpdf("success", bytes, "user", "owner", kPrintCopy);
}

TEST_F(VarnelTest, PasswordsAndPermissionsReachTheFile) {
  if (GetACP() == CP_UTF8) GTEST_SKIP() << "the ANSI code page is UTF-8 here";
  struct Row {
    const char* name;
    const wchar_t* user;
    const wchar_t* owner;
    std::wstring permissions;
    const char* qpdf_user;  // the password as the file holds it
    const char* qpdf_owner;
    int p;
  };
  const Row rows[] = {
      // Empty texts are allowed: no password needed, no permission granted.
      {"empty", L"", L"", L"", "", "", kNothing},
      // A character outside the ANSI code page becomes "?" (Georgian letter).
      {"ansi", L"\x10D0", L"owner", L"PC", "?", "owner", kPrintCopy},
      // Texts are converted whole: letters past byte 519 still count.
      {"long", L"user", L"owner", std::wstring(600, L'x') + L"PC", "user", "owner", kPrintCopy},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(row.name);
    Variant error(0x1234), result;
    ASSERT_EQ(S_OK, Encrypt(kCorpus + L"/classic-02.pdf", row.user, row.owner, row.permissions.c_str(), &error,
                            &result));
    EXPECT_TRUE(IsSentinel(error, 0x1234)) << ErrorText(error);
    const std::string bytes = ResultBytes(result);
    ExpectEncryptedPdf(bytes);
    SaveForQpdf(std::string("passwords-") + row.name, bytes, row.qpdf_user, row.qpdf_owner, row.p);
  }
}

TEST_F(VarnelTest, OpensAnyFileName) {
  // Three folders of 60 CJK characters: under MAX_PATH characters, but over
  // 519 bytes in UTF-8.
  const std::wstring deep(60, L'\x6587');
  const std::wstring names[] = {
      kOutputs + L"\\names\\\x03A9mega \x263A \x6587\x66F8 \x00FC.pdf",  // outside any ANSI code page
      kOutputs + L"\\names\\" + deep + L"\\" + deep + L"\\" + deep + L"\\long.pdf",
  };
  for (const std::wstring& name : names) {
    SCOPED_TRACE(Narrow(name));
    MakeDirs(name.substr(0, name.find_last_of(L'\\')));
    ASSERT_TRUE(CopyFileW((kCorpus + L"/classic-02.pdf").c_str(), name.c_str(), FALSE));
    Variant error(0x1234), result;
    EXPECT_EQ(S_OK, Encrypt(name, L"user", L"owner", L"PC", &error, &result));
    EXPECT_TRUE(IsSentinel(error, 0x1234)) << ErrorText(error);
    ExpectEncryptedPdf(ResultBytes(result));
  }
}

TEST_F(VarnelTest, TemporaryDirectory) {
  // Any directory name works, and the file made there is gone afterwards.
  UseTempDirectory(kOutputs + L"\\temp\\\x03A9 \x6587\x66F8");
  Variant error(0x1234), result;
  EXPECT_EQ(S_OK, Encrypt(kCorpus + L"/classic-02.pdf", L"user", L"owner", L"PC", &error, &result));
  EXPECT_TRUE(IsSentinel(error, 0x1234)) << ErrorText(error);
  ExpectEncryptedPdf(ResultBytes(result));
  ExpectTempDirectoryEmpty();

  // A temporary directory that does not exist: no file can be made there.
  const std::wstring missing = kOutputs + L"\\temp\\no-such-directory";
  SetEnvironmentVariableW(L"TMP", missing.c_str());
  SetEnvironmentVariableW(L"TEMP", missing.c_str());
  Variant error2(0x1234), result2(0x5678);
  EXPECT_EQ(S_OK, Encrypt(kCorpus + L"/classic-02.pdf", L"user", L"owner", L"PC", &error2, &result2));
  EXPECT_EQ("GetTempFileName()", ErrorText(error2));
  EXPECT_TRUE(IsSentinel(result2, 0x5678));
}

TEST_F(VarnelTest, DispatchReachesEncryptPdf) {
  UINT count = 0;
  EXPECT_EQ(S_OK, varnel_->GetTypeInfoCount(&count));
  EXPECT_EQ(1u, count);
  EXPECT_EQ(E_POINTER, varnel_->GetTypeInfo(0, 0, nullptr));
  ITypeInfo* info = nullptr;
  ASSERT_EQ(S_OK, varnel_->GetTypeInfo(0, 0, &info));
  TYPEATTR* attr = nullptr;
  ASSERT_EQ(S_OK, info->GetTypeAttr(&attr));
  EXPECT_TRUE(IsEqualGUID(IID_IVarnel2, attr->guid));
  info->ReleaseTypeAttr(attr);
  info->Release();

  Bstr method(L"EncryptPdf");
  LPOLESTR names[] = {method};
  DISPID id = 0;
  ASSERT_EQ(S_OK, varnel_->GetIDsOfNames(IID_NULL, names, 1, 0, &id));
  EXPECT_EQ(1, id);

  // Arguments go in reverse order; error is passed by reference, as script
  // hosts pass a variable.
  struct Row {
    std::wstring path;
    bool succeeds;
  };
  const Row rows[] = {{kCorpus + L"/no-such-file.pdf", false}, {kCorpus + L"/classic-02.pdf", true}};
  for (const Row& row : rows) {
    Variant error(0x1234), result;
    Bstr path(row.path), user(L"user"), owner(L"owner"), permissions(L"PC");
    VARIANTARG args[5];
    for (VARIANTARG& arg : args) VariantInit(&arg);
    V_VT(&args[0]) = VT_BYREF | VT_VARIANT;
    V_VARIANTREF(&args[0]) = &error;
    const BSTR texts[] = {permissions, owner, user, path};
    for (int i = 0; i < 4; ++i) {
      V_VT(&args[i + 1]) = VT_BSTR;
      V_BSTR(&args[i + 1]) = texts[i];
    }
    DISPPARAMS params = {args, nullptr, 5, 0};
    EXPECT_EQ(S_OK, varnel_->Invoke(id, IID_NULL, 0, DISPATCH_METHOD, &params, &result, nullptr, nullptr));
    if (row.succeeds) {
      EXPECT_TRUE(IsSentinel(error, 0x1234)) << ErrorText(error);
      ExpectEncryptedPdf(ResultBytes(result));
    } else {
      EXPECT_EQ(kFopenMessage, ErrorText(error));
      EXPECT_EQ(VT_EMPTY, V_VT(&result));
    }
  }
}

// The module seen through its exports, loaded directly: its lock count, the
// class object and aggregation.
class VarnelModuleTest : public ::testing::Test {
 protected:
  using GetClassObject = HRESULT(STDAPICALLTYPE*)(REFCLSID, REFIID, void**);
  using CanUnloadNow = HRESULT(STDAPICALLTYPE*)();

  void SetUp() override {
    module_ = LoadLibraryW(kDll);
    ASSERT_NE(nullptr, module_);
    get_class_object_ = Export<GetClassObject>("DllGetClassObject");
    can_unload_now_ = Export<CanUnloadNow>("DllCanUnloadNow");
    ASSERT_NE(nullptr, get_class_object_);
    ASSERT_NE(nullptr, can_unload_now_);
    ASSERT_EQ(S_OK, can_unload_now_()) << "something holds the module before the test";
  }

  void TearDown() override {
    if (module_ != nullptr) FreeLibrary(module_);
  }

  template <typename Function>
  Function Export(const char* name) {
    return reinterpret_cast<Function>(reinterpret_cast<void*>(GetProcAddress(module_, name)));
  }

  IClassFactory* Factory() {
    IClassFactory* factory = nullptr;
    EXPECT_EQ(S_OK, get_class_object_(CLSID_Varnel, IID_IClassFactory, reinterpret_cast<void**>(&factory)));
    return factory;
  }

  HMODULE module_ = nullptr;
  GetClassObject get_class_object_ = nullptr;
  CanUnloadNow can_unload_now_ = nullptr;
};

TEST_F(VarnelModuleTest, UnloadsOnlyWhenNothingIsHeld) {
  IClassFactory* factory = Factory();
  ASSERT_NE(nullptr, factory);
  EXPECT_EQ(S_FALSE, can_unload_now_()) << "class object held";
  IVarnel* varnel = nullptr;
  ASSERT_EQ(S_OK, factory->CreateInstance(nullptr, IID_IVarnel, reinterpret_cast<void**>(&varnel)));
  factory->Release();
  EXPECT_EQ(S_FALSE, can_unload_now_()) << "object alive";
  varnel->Release();
  EXPECT_EQ(S_OK, can_unload_now_());

  factory = Factory();
  EXPECT_EQ(S_OK, factory->LockServer(TRUE));
  factory->Release();
  EXPECT_EQ(S_FALSE, can_unload_now_()) << "server locked";
  factory = Factory();
  EXPECT_EQ(S_OK, factory->LockServer(FALSE));
  factory->Release();
  EXPECT_EQ(S_OK, can_unload_now_());
}

TEST_F(VarnelModuleTest, ClassObjectRefusals) {
  void* object = nullptr;
  EXPECT_EQ(CLASS_E_CLASSNOTAVAILABLE, get_class_object_(IID_IVarnel, IID_IClassFactory, &object));
  IClassFactory* factory = Factory();
  ASSERT_NE(nullptr, factory);
  EXPECT_EQ(E_POINTER, factory->CreateInstance(nullptr, IID_IVarnel, nullptr));
  // An outer object may only ask for IUnknown (the class object stands in
  // as the outer one; it is refused before it is used).
  object = &object;
  EXPECT_EQ(CLASS_E_NOAGGREGATION, factory->CreateInstance(factory, IID_IDispatch, &object));
  EXPECT_EQ(nullptr, object);
  // An interface the object lacks: the new object is destroyed again.
  EXPECT_EQ(E_NOINTERFACE, factory->CreateInstance(nullptr, IID_IClassFactory, &object));
  EXPECT_EQ(nullptr, object);
  factory->Release();
  EXPECT_EQ(S_OK, can_unload_now_());
}

// An outer object that counts the references given to it.
class Outer : public IUnknown {
 public:
  HRESULT STDMETHODCALLTYPE QueryInterface(REFIID riid, void** result) override {
    if (!IsEqualIID(riid, IID_IUnknown)) return inner->QueryInterface(riid, result);
    *result = this;
    AddRef();
    return S_OK;
  }
  ULONG STDMETHODCALLTYPE AddRef() override { return ++refs; }
  ULONG STDMETHODCALLTYPE Release() override { return --refs; }
  virtual ~Outer() = default;

  ULONG refs = 1;
  IUnknown* inner = nullptr;
};

TEST_F(VarnelModuleTest, AggregatedObjectDelegatesToTheOuterObject) {
  IClassFactory* factory = Factory();
  ASSERT_NE(nullptr, factory);
  Outer outer;
  ASSERT_EQ(S_OK, factory->CreateInstance(&outer, IID_IUnknown, reinterpret_cast<void**>(&outer.inner)));
  factory->Release();

  IVarnel* varnel = nullptr;
  ASSERT_EQ(S_OK, outer.inner->QueryInterface(IID_IVarnel, reinterpret_cast<void**>(&varnel)));
  // Interfaces of the inner object count on the outer object...
  EXPECT_EQ(2u, outer.refs);
  IUnknown* identity = nullptr;
  ASSERT_EQ(S_OK, varnel->QueryInterface(IID_IUnknown, reinterpret_cast<void**>(&identity)));
  EXPECT_EQ(static_cast<IUnknown*>(&outer), identity);  // ...and answer with its identity
  identity->Release();

  Variant error, result;
  Bstr path(kCorpus + L"/no-such-file.pdf"), user(L""), owner(L""), permissions(L"");
  EXPECT_EQ(S_OK, varnel->EncryptPdf(path, user, owner, permissions, &error, &result));
  EXPECT_EQ(kFopenMessage, ErrorText(error));
  varnel->Release();
  EXPECT_EQ(1u, outer.refs);

  EXPECT_EQ(S_FALSE, can_unload_now_());
  EXPECT_EQ(0u, outer.inner->Release());
  EXPECT_EQ(S_OK, can_unload_now_());
}

// The version block that installers read: the version and the mark of a
// self-registering module.
TEST_F(VarnelModuleTest, VersionBlock) {
  DWORD size = GetFileVersionInfoSizeW(kDll, nullptr);
  ASSERT_GT(size, 0u);
  std::vector<char> block(size);
  ASSERT_TRUE(GetFileVersionInfoW(kDll, 0, size, block.data()));
  VS_FIXEDFILEINFO* fixed = nullptr;
  UINT length = 0;
  ASSERT_TRUE(VerQueryValueW(block.data(), L"\\", reinterpret_cast<void**>(&fixed), &length));
  EXPECT_EQ(MAKELONG(0, 1), fixed->dwFileVersionMS);  // 1.0
  EXPECT_EQ(MAKELONG(1, 0), fixed->dwFileVersionLS);  // .0.1
  const std::pair<const wchar_t*, const wchar_t*> strings[] = {
      {L"FileDescription", L"VarnelCtrl Module"}, {L"OriginalFilename", L"VarnelCtrl.DLL"}, {L"OLESelfRegister", L""}};
  for (const auto& entry : strings) {
    wchar_t* value = nullptr;
    const std::wstring key = std::wstring(L"\\StringFileInfo\\040904B0\\") + entry.first;
    ASSERT_TRUE(VerQueryValueW(block.data(), key.c_str(), reinterpret_cast<void**>(&value), &length))
        << Narrow(entry.first);
    EXPECT_EQ(std::wstring(entry.second), std::wstring(value)) << Narrow(entry.first);
  }
}

}  // namespace

int main(int argc, char** argv) {
  ::testing::InitGoogleTest(&argc, argv);
  CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED);
  int failed = RUN_ALL_TESTS();
  CoUninitialize();
  return failed;
}

// IVarnel2: the same contract with a cipher named; an empty name is AES-256.
TEST_F(VarnelTest, EncryptPdfWithCipherWritesEachRevision) {
  IVarnel2* varnel2 = nullptr;
  ASSERT_EQ(S_OK, varnel_->QueryInterface(IID_IVarnel2, reinterpret_cast<void**>(&varnel2)));
  struct Row {
    const wchar_t* cipher;
    const wchar_t* user;
    const char* header;  // null: fails with message
    int revision;
    int p;
    const char* message;
  };
  const Row rows[] = {
      {L"aes-256", L"user", "%PDF-1.7", 6, -1324, nullptr},
      {L"", L"user", "%PDF-1.7", 6, -1324, nullptr},
      {L"aes-128", L"user", "%PDF-1.6", 4, -1324, nullptr},
      {L"rc4-128", L"user", "%PDF-1.5", 3, -1836, nullptr},
      {L"des", L"user", nullptr, 0, 0, "Varnel::EncryptPdfWithCipher:cipher"},
      {L"aes-256", L"a\x0007" L"b", nullptr, 0, 0, "Varnel::EncryptPdfWithCipher:password"},  // SASLprep refuses
      {L"rc4-128", L"\x6587", nullptr, 0, 0, "Varnel::EncryptPdfWithCipher:password"},     // not PDFDocEncoding
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(Narrow(row.cipher));
    Variant error(0x1234), result(0x5678);
    Bstr path(kCorpus + L"/classic-02.pdf"), user(row.user), owner(L"owner"), permissions(L"PC"), cipher(row.cipher);
    EXPECT_EQ(S_OK, varnel2->EncryptPdfWithCipher(path, user, owner, permissions, cipher, &error, &result));
    if (row.header == nullptr) {
      EXPECT_EQ(row.message, ErrorText(error));
      EXPECT_TRUE(IsSentinel(result, 0x5678));
    } else {
      ASSERT_TRUE(IsSentinel(error, 0x1234)) << ErrorText(error);
      const std::string bytes = ResultBytes(result);
      EXPECT_EQ(row.header, bytes.substr(0, 8));
      SaveForQpdf("cipher-" + (*row.cipher ? Narrow(row.cipher) : std::string("default")), bytes, "user", "owner", row.p,
                  row.revision);
    }
    ExpectTempDirectoryEmpty();
  }
  varnel2->Release();
}
