// The COM component seen from a C++ client under Wine, registered by front.prepare; outputs go to qpdf_check.sh.
#include <windows.h>
#include <oaidl.h>
#include <oleauto.h>

#include <gtest/gtest.h>

#include <cstring>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>

#include "varnelctrl.h"

namespace {

namespace fs = std::filesystem;
const std::wstring kCorpus = L"" VARNEL_CORPUS;
const std::wstring kOutputs = L"" VARNEL_OUTPUTS;
const std::wstring kPdf = kCorpus + L"/classic-02.pdf";
const wchar_t kDll[] = L"" VARNEL_CTRL_DLL;
const char kFopenMessage[] = "PdfParser::Abrir:fopen";
const LONG kSentinel = 0x1234;  // a value the component must leave alone

struct Bstr {
  explicit Bstr(const std::wstring& text) : text(SysAllocStringLen(text.data(), static_cast<UINT>(text.size()))) {}
  explicit Bstr(const wchar_t* text) : text(text != nullptr ? SysAllocString(text) : nullptr) {}
  ~Bstr() { SysFreeString(text); }
  Bstr(const Bstr&) = delete;
  Bstr& operator=(const Bstr&) = delete;
  operator BSTR() const { return text; }
  BSTR text;
};

struct Variant : VARIANT {
  explicit Variant(bool sentinel = true) {
    VariantInit(this);
    if (sentinel) V_VT(this) = VT_I4, V_I4(this) = kSentinel;
  }
  ~Variant() { VariantClear(this); }
  Variant(const Variant&) = delete;
  Variant& operator=(const Variant&) = delete;
  bool Untouched() const { return V_VT(this) == VT_I4 && V_I4(this) == kSentinel; }
};

std::string Narrow(const std::wstring& text) { return fs::path(text).u8string(); }

std::string ErrorText(const VARIANT& error) {
  return V_VT(&error) != VT_BSTR ? "<not a BSTR>" : Narrow(V_BSTR(&error) != nullptr ? V_BSTR(&error) : L"");
}

// The bytes of a VT_ARRAY | VT_UI1 result, a one-dimensional array from 0.
std::string ResultBytes(const VARIANT& result) {
  EXPECT_EQ(VT_ARRAY | VT_UI1, V_VT(&result));
  if (V_VT(&result) != (VT_ARRAY | VT_UI1)) return std::string();
  SAFEARRAY* array = V_ARRAY(&result);
  LONG lower = -1, upper = -1;
  SafeArrayGetLBound(array, 1, &lower);
  SafeArrayGetUBound(array, 1, &upper);
  EXPECT_EQ(1u, SafeArrayGetDim(array));
  EXPECT_EQ(0, lower);
  void* data = nullptr;
  if (FAILED(SafeArrayAccessData(array, &data))) return std::string();
  std::string bytes(static_cast<const char*>(data), static_cast<size_t>(upper - lower + 1));
  SafeArrayUnaccessData(array);
  return bytes;
}

void WriteFile(const std::wstring& path, const std::string& bytes) {
  std::ofstream out(fs::path(path), std::ios::binary);
  EXPECT_TRUE(out << bytes) << Narrow(path);
}

// Each test gets a fresh, empty temporary directory (TMP and TEMP), so that a file left behind is seen.
class VarnelTest : public ::testing::Test {
 protected:
  void SetUp() override {
    const std::string name = ::testing::UnitTest::GetInstance()->current_test_info()->name();
    UseTempDirectory(kOutputs + L"\\temp\\" + std::wstring(name.begin(), name.end()));
    ASSERT_EQ(S_OK, CoCreateInstance(CLSID_Varnel, nullptr, CLSCTX_INPROC_SERVER, IID_IVarnel2,
                                     reinterpret_cast<void**>(&varnel_)));
  }
  void TearDown() override {
    if (varnel_ != nullptr) varnel_->Release();
  }

  // TMP and TEMP; made, emptied and watched unless `make` is false.
  void UseTempDirectory(const std::wstring& directory, bool make = true) {
    if (make) {
      temp_ = directory;
      fs::remove_all(temp_);
      fs::create_directories(temp_);
    }
    SetEnvironmentVariableW(L"TMP", directory.c_str());
    SetEnvironmentVariableW(L"TEMP", directory.c_str());
  }

  // EncryptPdf, or EncryptPdfWithCipher when a cipher is given.
  HRESULT Encrypt(const std::wstring& path, const wchar_t* user, const wchar_t* owner, const wchar_t* permissions,
                  VARIANT* error, VARIANT* result, const wchar_t* cipher = nullptr) {
    Bstr p(path), u(user), o(owner), s(permissions), c(cipher);
    return cipher == nullptr ? varnel_->EncryptPdf(p, u, o, s, error, result)
                             : varnel_->EncryptPdfWithCipher(p, u, o, s, c, error, result);
  }

  void ExpectTempDirectoryEmpty() { EXPECT_TRUE(fs::is_empty(temp_)) << "left in " << Narrow(temp_); }

  IVarnel2* varnel_ = nullptr;
  std::wstring temp_;
};

TEST_F(VarnelTest, RefusedArgumentsTouchNothing) {
  const struct {
    const wchar_t* path;
    bool pass_error, pass_result;
  } rows[] = {
      {L"", true, true},            // empty path
      {nullptr, true, true},        // null BSTR: COM's empty string
      {kPdf.c_str(), false, true},  // no error argument
      {kPdf.c_str(), true, false},  // no result argument
  };
  for (const auto& row : rows) {
    Variant error, result;
    Bstr path(row.path), user(L"u"), owner(L"o"), permissions(L"P");
    EXPECT_EQ(E_INVALIDARG, varnel_->EncryptPdf(path, user, owner, permissions, row.pass_error ? &error : nullptr,
                                                row.pass_result ? &result : nullptr));
    EXPECT_TRUE(error.Untouched() && result.Untouched());
    ExpectTempDirectoryEmpty();
  }
}

TEST_F(VarnelTest, FailuresComeBackAsTextWithSOk) {
  // A first object damaged while the cross-reference data is intact: the failure comes in the middle of the rewrite.
  std::ifstream in(fs::path(kPdf), std::ios::binary);
  std::string damaged((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
  damaged.replace(damaged.find(" 0 obj") + 3, 3, "xbj");
  WriteFile(temp_ + L"\\..\\damaged.pdf", damaged);
  const struct {
    std::wstring path;
    const wchar_t* user;
    const wchar_t* cipher;
    const char* message;            // null: any library message
    const wchar_t* temp = nullptr;  // a temporary directory that does not exist
  } rows[] = {
      {kCorpus, L"user", nullptr, kFopenMessage},                 // a directory
      {temp_ + L"\\..\\damaged.pdf", L"user", nullptr, nullptr},  // fails deep in the writer
      {kPdf, L"user", L"des", "Varnel::EncryptPdfWithCipher:cipher"},
      {kPdf, L"\x6587", L"rc4-128", "Varnel::EncryptPdfWithCipher:password"},  // not PDFDocEncoding
      {kPdf, L"user", nullptr, "GetTempFileName()", L"no-such-directory"},
  };
  for (const auto& row : rows) {
    SCOPED_TRACE(Narrow(row.path) + (row.cipher ? " " + Narrow(row.cipher) : ""));
    if (row.temp != nullptr) UseTempDirectory(temp_ + L"\\" + row.temp, false);
    Variant error, result;
    EXPECT_EQ(S_OK, Encrypt(row.path, row.user, L"owner", L"PC", &error, &result, row.cipher));
    EXPECT_EQ(VT_BSTR, V_VT(&error));
    EXPECT_TRUE(row.message ? ErrorText(error) == row.message : !ErrorText(error).empty()) << ErrorText(error);
    EXPECT_TRUE(result.Untouched());
    ExpectTempDirectoryEmpty();
  }
}

// Each file that comes back is left for qpdf_check.sh: NAME.pdf, and NAME.expect (passwords, /P, revision).
TEST_F(VarnelTest, EncryptedFilesComeBack) {
  const std::wstring deep(60, L'\x6587');  // three folders: under MAX_PATH characters, over 519 bytes in UTF-8
  const std::wstring names[] = {kOutputs + L"\\names\\\x03A9mega \x263A \x6587\x66F8 \x00FC.pdf",  // no ANSI code page
                                kOutputs + L"\\names\\" + deep + L"\\" + deep + L"\\" + deep + L"\\long.pdf"};
  for (const std::wstring& name : names) {
    fs::create_directories(fs::path(name).parent_path());
    ASSERT_TRUE(CopyFileW(kPdf.c_str(), name.c_str(), FALSE));
  }
  const bool ansi = GetACP() != CP_UTF8;
  const struct {
    const char* name;
    std::wstring path, permissions;
    const wchar_t *user, *owner, *cipher;  // cipher null: EncryptPdf
    const char* qpdf_user;                 // the user password as the file holds it
    int p, revision;
    const wchar_t* temp = nullptr;  // a temporary directory of its own, the file made there gone afterwards
  } rows[] = {
      {"success", kPdf, L"PC", L"user", L"owner", nullptr, "user", -1836, 3},
      {"passwords-empty", kPdf, L"", L"", L"", nullptr, "", -3904, 3},  // allowed: no password, no permission
      {ansi ? "passwords-ansi" : nullptr, kPdf, L"PC", L"\x10D0", L"owner", nullptr, "?", -1836, 3},  // not ANSI: "?"
      {"passwords-long", kPdf, std::wstring(600, L'x') + L"PC", L"user", L"owner", nullptr, "user", -1836, 3},  // whole
      {"names-unicode", names[0], L"PC", L"user", L"owner", nullptr, "user", -1836, 3},
      {"names-long", names[1], L"PC", L"user", L"owner", nullptr, "user", -1836, 3},
      {"cipher-aes-256", kPdf, L"PC", L"user", L"owner", L"aes-256", "user", -1324, 6},
      {"cipher-default", kPdf, L"PC", L"user", L"owner", L"", "user", -1324, 6},
      {"cipher-aes-128", kPdf, L"PC", L"user", L"owner", L"aes-128", "user", -1324, 4},
      {"cipher-rc4-128", kPdf, L"PC", L"user", L"owner", L"rc4-128", "user", -1836, 3},
      {"temp-unicode", kPdf, L"PC", L"user", L"owner", nullptr, "user", -1836, 3, L"\x03A9 \x6587\x66F8"},
  };
  for (const auto& row : rows) {
    if (row.name == nullptr) continue;
    SCOPED_TRACE(row.name);
    if (row.temp != nullptr) UseTempDirectory(temp_ + L"\\" + row.temp);
    Variant error, result(false);
    ASSERT_EQ(S_OK, Encrypt(row.path, row.user, row.owner, row.permissions.c_str(), &error, &result, row.cipher));
    EXPECT_TRUE(error.Untouched()) << ErrorText(error);
    const std::string bytes = ResultBytes(result);
    EXPECT_EQ("%PDF-1." + std::to_string(row.revision == 6 ? 7 : row.revision + 2), bytes.substr(0, 8));
    ExpectTempDirectoryEmpty();
    const std::wstring base = kOutputs + L"/" + std::wstring(row.name, row.name + strlen(row.name));
    WriteFile(base + L".pdf", bytes);
    WriteFile(base + L".expect", std::string(row.qpdf_user) + "\n" + Narrow(row.owner) + "\n" + std::to_string(row.p) +
                                     "\n" + std::to_string(row.revision) + "\n");
  }
}

// The module through its exports, loaded directly: lock count, class object, aggregation.
class VarnelModuleTest : public ::testing::Test {
 protected:
  void SetUp() override {
    module_ = LoadLibraryW(kDll);
    ASSERT_NE(nullptr, module_);
    get_class_object_ = reinterpret_cast<HRESULT(STDAPICALLTYPE*)(REFCLSID, REFIID, void**)>(
        reinterpret_cast<void*>(GetProcAddress(module_, "DllGetClassObject")));
    can_unload_now_ = reinterpret_cast<HRESULT(STDAPICALLTYPE*)()>(
        reinterpret_cast<void*>(GetProcAddress(module_, "DllCanUnloadNow")));
    ASSERT_TRUE(get_class_object_ != nullptr && can_unload_now_ != nullptr);
    ASSERT_EQ(S_OK, can_unload_now_()) << "something holds the module before the test";
  }
  void TearDown() override {
    if (module_ != nullptr) FreeLibrary(module_);
  }
  IClassFactory* Factory() {
    IClassFactory* factory = nullptr;
    EXPECT_EQ(S_OK, get_class_object_(CLSID_Varnel, IID_IClassFactory, reinterpret_cast<void**>(&factory)));
    return factory;
  }

  HMODULE module_ = nullptr;
  HRESULT(STDAPICALLTYPE* get_class_object_)(REFCLSID, REFIID, void**) = nullptr;
  HRESULT(STDAPICALLTYPE* can_unload_now_)() = nullptr;
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
  for (BOOL lock : {TRUE, FALSE}) {
    factory = Factory();
    EXPECT_EQ(S_OK, factory->LockServer(lock));
    factory->Release();
    EXPECT_EQ(lock ? S_FALSE : S_OK, can_unload_now_()) << "server locked " << lock;
  }
}

TEST_F(VarnelModuleTest, ClassObjectRefusals) {
  void* object = nullptr;
  EXPECT_EQ(CLASS_E_CLASSNOTAVAILABLE, get_class_object_(IID_IVarnel, IID_IClassFactory, &object));
  IClassFactory* factory = Factory();
  ASSERT_NE(nullptr, factory);
  EXPECT_EQ(E_POINTER, factory->CreateInstance(nullptr, IID_IVarnel, nullptr));
  // An outer object may only ask for IUnknown (the class object stands in, refused before it is used).
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
struct Outer : IUnknown {
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
  EXPECT_EQ(2u, outer.refs);  // interfaces of the inner object count on the outer object...
  IUnknown* identity = nullptr;
  ASSERT_EQ(S_OK, varnel->QueryInterface(IID_IUnknown, reinterpret_cast<void**>(&identity)));
  EXPECT_EQ(static_cast<IUnknown*>(&outer), identity);  // ...and answer with its identity
  identity->Release();
  Variant error(false), result(false);
  Bstr path(kCorpus + L"/no-such-file.pdf"), empty(L"");
  EXPECT_EQ(S_OK, varnel->EncryptPdf(path, empty, empty, empty, &error, &result));
  EXPECT_EQ(kFopenMessage, ErrorText(error));
  varnel->Release();
  EXPECT_EQ(1u, outer.refs);
  EXPECT_EQ(S_FALSE, can_unload_now_());
  EXPECT_EQ(0u, outer.inner->Release());
  EXPECT_EQ(S_OK, can_unload_now_());
}

}  // namespace

int main(int argc, char** argv) {
  ::testing::InitGoogleTest(&argc, argv);
  CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED);
  int failed = RUN_ALL_TESTS();
  CoUninitialize();
  return failed;
}
