// varnel._native: the library's public interface (include/varnel/varnel.h)
// for Python. The package varnel (varnel/__init__.py) re-exports it with the
// exception classes. Every call releases the GIL while the library works.
#include <pybind11/pybind11.h>
#include <pybind11/stl.h>

#include <memory>
#include <optional>
#include <string>
#include <string_view>

#include "varnel/varnel.h"

namespace py = pybind11;

namespace {

varnel::Cipher CipherNamed(const std::string& name) {
  varnel::Cipher cipher;
  if (varnel::CipherNamed(name, &cipher)) return cipher;
  throw varnel::Error(varnel::ErrorCode::kUsage, "cipher:" + name,
                      "unknown cipher '" + name + "' (aes-256, aes-128 or rc4-128)");
}

// A path as the file system takes it: str, bytes or os.PathLike, encoded
// with the file system's encoding (undecodable names round-trip). A NUL
// would end the name early in the system's calls, so it is refused, as
// Python's open() refuses it.
std::string PathArgument(const py::object& path) {
  py::bytes encoded = py::module_::import("os").attr("fsencode")(path);
  std::string name = encoded;
  if (name.find('\0') != std::string::npos)
    throw varnel::Error(varnel::ErrorCode::kUsage, "path:NUL", "a file name cannot hold a NUL character");
  return name;
}

// The bytes of any object with the buffer interface (bytes, bytearray,
// memoryview, mmap), held for the duration of a call: while it is held a
// bytearray cannot be resized under the library, which works without the GIL.
using HeldBuffer = std::unique_ptr<Py_buffer, void (*)(Py_buffer*)>;

HeldBuffer HoldBuffer(const py::object& data) {
  HeldBuffer held(new Py_buffer(), [](Py_buffer* view) {
    if (view->obj != nullptr) PyBuffer_Release(view);
    delete view;
  });
  if (PyObject_GetBuffer(data.ptr(), held.get(), PyBUF_SIMPLE) != 0) {
    held->obj = nullptr;
    throw py::error_already_set();
  }
  return held;
}

std::string_view View(const HeldBuffer& held) {
  return std::string_view(static_cast<const char*>(held->buf), static_cast<size_t>(held->len));
}

// A certificate or identity file: a path (str or os.PathLike), or its
// content (bytes, bytearray or memoryview).
void KeySource(const py::object& o, std::string* path, std::string* bytes) {
  if (PyObject_CheckBuffer(o.ptr()))
    *bytes = std::string(View(HoldBuffer(o)));
  else
    *path = PathArgument(o);
}

std::vector<varnel::Certificate> Certificates(const py::object& list) {
  std::vector<varnel::Certificate> out;
  for (const py::handle& item : list) {
    out.emplace_back();
    KeySource(py::reinterpret_borrow<py::object>(item), &out.back().path, &out.back().bytes);
  }
  return out;
}

std::optional<varnel::Identity> IdentityOf(const py::object& o, const std::string& password) {
  if (o.is_none()) return std::nullopt;
  varnel::Identity identity;
  KeySource(o, &identity.path, &identity.bytes);
  identity.password = password;
  return identity;
}

// What encrypt takes for certificate encryption.
struct RecipientArguments {
  py::object recipients, owner_recipients, input_identity, verify_identity;
  std::string identity_password;
  bool allow_any_certificate;
};

varnel::EncryptOptions MakeEncryptOptions(const std::string& user_password, const std::string& owner_password,
                                          const std::string& permissions, const std::string& cipher,
                                          const std::optional<std::string>& input_password, bool verify, bool repair,
                                          bool helper_threads, bool invalidate_signatures,
                                          const RecipientArguments& keys) {
  varnel::EncryptOptions options;
  options.recipients = Certificates(keys.recipients);
  options.owner_recipients = Certificates(keys.owner_recipients);
  options.allow_any_certificate = keys.allow_any_certificate;
  options.input_identity = IdentityOf(keys.input_identity, keys.identity_password);
  options.verify_identity = IdentityOf(keys.verify_identity, keys.identity_password);
  options.user_password = user_password;
  options.owner_password = owner_password;
  options.permissions = permissions;
  options.cipher = CipherNamed(cipher);
  options.input_password = input_password;
  options.verify = verify;
  options.repair = repair;
  options.threads = helper_threads;
  options.invalidate_signatures = invalidate_signatures;
  return options;
}

varnel::Result Encrypt(const py::object& src, const py::object& dst, const std::string& user_password,
                       const std::string& owner_password, const std::string& permissions, const std::string& cipher,
                       const std::optional<std::string>& input_password, bool verify, bool repair, bool helper_threads,
                       bool invalidate_signatures, const py::object& recipients, const py::object& owner_recipients,
                       bool allow_any_certificate, const py::object& input_identity, const py::object& verify_identity,
                       const std::string& identity_password) {
  const varnel::EncryptOptions options = MakeEncryptOptions(
      user_password, owner_password, permissions, cipher, input_password, verify, repair, helper_threads,
      invalidate_signatures,
      {recipients, owner_recipients, input_identity, verify_identity, identity_password, allow_any_certificate});
  const std::string input = PathArgument(src), output = PathArgument(dst);
  py::gil_scoped_release unlocked;
  return varnel::EncryptFile(input, output, options);
}

py::bytes EncryptBytes(const py::object& data, const std::string& user_password, const std::string& owner_password,
                       const std::string& permissions, const std::string& cipher,
                       const std::optional<std::string>& input_password, bool verify, bool repair, bool helper_threads,
                       bool invalidate_signatures, const py::object& recipients, const py::object& owner_recipients,
                       bool allow_any_certificate, const py::object& input_identity, const py::object& verify_identity,
                       const std::string& identity_password) {
  const varnel::EncryptOptions options = MakeEncryptOptions(
      user_password, owner_password, permissions, cipher, input_password, verify, repair, helper_threads,
      invalidate_signatures,
      {recipients, owner_recipients, input_identity, verify_identity, identity_password, allow_any_certificate});
  const HeldBuffer held = HoldBuffer(data);
  std::string out;
  {
    py::gil_scoped_release unlocked;
    out = varnel::EncryptBuffer(View(held), options);
  }
  return py::bytes(out);
}

varnel::Result Decrypt(const py::object& src, const py::object& dst, const std::string& password, bool repair,
                       const py::object& identity, const std::string& identity_password) {
  varnel::DecryptOptions options;
  options.password = password;
  options.identity = IdentityOf(identity, identity_password);
  options.repair = repair;
  const std::string input = PathArgument(src), output = PathArgument(dst);
  py::gil_scoped_release unlocked;
  return varnel::DecryptFile(input, output, options);
}

py::bytes DecryptBytes(const py::object& data, const std::string& password, bool repair, const py::object& identity,
                       const std::string& identity_password) {
  varnel::DecryptOptions options;
  options.password = password;
  options.identity = IdentityOf(identity, identity_password);
  options.repair = repair;
  const HeldBuffer held = HoldBuffer(data);
  std::string out;
  {
    py::gil_scoped_release unlocked;
    out = varnel::DecryptBuffer(View(held), options);
  }
  return py::bytes(out);
}

varnel::CheckResult Check(const py::object& path, const std::optional<std::string>& password,
                          const py::object& identity, const std::string& identity_password) {
  const std::string input = PathArgument(path);
  const std::optional<varnel::Identity> key = IdentityOf(identity, identity_password);
  py::gil_scoped_release unlocked;
  return key ? varnel::CheckFile(input, *key) : varnel::CheckFile(input, password);
}

varnel::CheckResult CheckBytes(const py::object& data, const std::optional<std::string>& password,
                               const py::object& identity, const std::string& identity_password) {
  const HeldBuffer held = HoldBuffer(data);
  const std::optional<varnel::Identity> key = IdentityOf(identity, identity_password);
  py::gil_scoped_release unlocked;
  return key ? varnel::CheckBuffer(View(held), *key) : varnel::CheckBuffer(View(held), password);
}

// varnel.Error's subclass for the code, made with the sentence for people
// and the library's own text.
void RaiseAsPython(const varnel::Error& e) {
  py::object by_code = py::module_::import("varnel._errors").attr("error_class");
  py::object cls = by_code(varnel::ErrorCodeName(e.code()));
  py::object instance = cls(std::string(e.what()), e.detail());
  PyErr_SetObject(cls.ptr(), instance.ptr());
}

// Results pickle (Dask sends them from workers) as the tuple of their fields.
constexpr size_t kResultFields = 7;
py::tuple ResultState(const varnel::Result& r) {
  return py::make_tuple(r.objects, r.bytes_out, r.repaired, r.repair_note, r.warning, r.output_note, r.notice);
}

void RestoreResult(const py::tuple& state, varnel::Result* r) {
  if (state.size() < kResultFields) throw std::runtime_error("not the state of a varnel result");
  r->objects = state[0].cast<int64_t>();
  r->bytes_out = state[1].cast<int64_t>();
  r->repaired = state[2].cast<bool>();
  r->repair_note = state[3].cast<std::string>();
  r->warning = state[4].cast<std::string>();
  r->output_note = state[5].cast<std::string>();
  r->notice = state[6].cast<std::string>();
}

py::list SignatureList(const varnel::CheckResult& r) {
  py::list out;
  for (const varnel::Signature& s : r.signatures) out.append(py::make_tuple(s.field, s.signed_at));
  return out;
}

std::string ResultRepr(const char* type, const varnel::Result& r, const std::string& more) {
  std::string text = std::string("varnel.") + type + "(objects=" + std::to_string(r.objects) +
                     ", bytes_out=" + std::to_string(r.bytes_out) + ", repaired=" + (r.repaired ? "True" : "False");
  if (!r.warning.empty()) text += ", warning=" + py::repr(py::str(r.warning)).cast<std::string>();
  return text + more + ")";
}

const char* const kEncryptOptionsDoc = R"(
Keyword arguments:
    user_password: opens the document with the rights in permissions; empty:
        anyone opens it, with those rights only.
    owner_password: opens it with every right; empty: 16 random letters,
        forgotten, so nobody holds every right.
    permissions: letters granted to user-password readers: P print, D
        degraded print, M modify, C copy, A annotate and fill forms, S
        assemble; empty: reading only. Other letters raise UsageError.
    cipher: "aes-256" (revision 6), "aes-128" (revision 4) or "rc4-128"
        (revision 3).
    input_password: opens an encrypted input (its owner password, or a user
        password granting modification); without it EncryptedError.
    verify: read the output back with both new passwords and compare every
        object with the input's before it is kept (OutputFailedError if not).
    repair: rebuild a damaged input's structure as readers do; False: a
        damaged input raises DamagedError.
    helper_threads: let the library use a second thread for a large document;
        pass False when every core is already busy with a file of its own.
    invalidate_signatures: encrypt a signed or certified input (or one with
        usage rights) although the copy's signatures no longer hold; without
        it SignedError. A signature's bytes are copied as they are.
    recipients, owner_recipients: encrypt for these X.509 certificates (PEM
        or DER; each a path, or the file's bytes) instead of passwords, with
        the permissions, or with every right; aes-256 or aes-128 only.
    allow_any_certificate: use expired, non-RSA or unsuitable certificates.
    input_identity: a private key and certificate (PKCS#12 or PEM; a path or
        the bytes) that opens an input encrypted for certificates;
        verify_identity: one recipient's, to verify with; both are opened
        with identity_password.

Raises a subclass of varnel.Error.)";

}  // namespace

PYBIND11_MODULE(_native, m) {
  m.doc() = "Varnel's native interface; use the package varnel.";
  m.attr("__version__") = varnel::Version();

  py::register_exception_translator([](std::exception_ptr p) {
    try {
      if (p) std::rethrow_exception(p);
    } catch (const varnel::Error& e) {
      RaiseAsPython(e);
    }
  });

  py::class_<varnel::Result>(m, "Result", "What a call did.")
      .def_readonly("objects", &varnel::Result::objects, "Objects written (or checked).")
      .def_readonly("bytes_out", &varnel::Result::bytes_out, "Size of the output in bytes (0 for a check).")
      .def_readonly("repaired", &varnel::Result::repaired, "The input's structure had to be rebuilt to read it.")
      .def_readonly("repair_note", &varnel::Result::repair_note, "What the repair rebuilt and dropped, or ''.")
      .def_readonly("warning", &varnel::Result::warning,
                    "What opening an encrypted input let pass with a doubt, or ''.")
      .def_readonly("output_note", &varnel::Result::output_note,
                    "What the output could not keep of the file it replaced (owner, other hard links), or ''.")
      .def_readonly("notice", &varnel::Result::notice,
                    "What the copy breaks of what the input promised (signatures, PDF/A or PDF/UA), a line each, "
                    "or ''.")
      .def("__repr__", [](const varnel::Result& r) { return ResultRepr("Result", r, ""); })
      .def(py::pickle(&ResultState, [](const py::tuple& state) {
        varnel::Result r;
        RestoreResult(state, &r);
        return r;
      }));

  py::class_<varnel::CheckResult, varnel::Result>(m, "CheckResult", "What a check found.")
      .def_readonly("encrypted", &varnel::CheckResult::encrypted, "The document is encrypted.")
      .def_readonly("compressed_objects", &varnel::CheckResult::compressed_objects, "Objects inside object streams.")
      .def_readonly("sections", &varnel::CheckResult::sections, "Cross-reference sections read.")
      .def_property_readonly(
          "signatures", [](const varnel::CheckResult& r) { return SignatureList(r); },
          "The signatures, as (field name, when signed or '') pairs.")
      .def_readonly("certification", &varnel::CheckResult::certification,
                    "Certification level: 1 no changes, 2 forms and signing, 3 also annotations; 0 none.")
      .def_readonly("usage_rights", &varnel::CheckResult::usage_rights, "The document grants usage rights.")
      .def_readonly("pdfa", &varnel::CheckResult::pdfa, "The PDF/A conformance it declares ('PDF/A-2b'), or ''.")
      .def_readonly("pdfua", &varnel::CheckResult::pdfua, "The PDF/UA conformance it declares, or ''.")
      .def_readonly("recipients", &varnel::CheckResult::recipients,
                    "Of a document encrypted for certificates: how many recipients it names; else 0.")
      .def_readonly("matched_recipient", &varnel::CheckResult::matched_recipient,
                    "Which recipient (1-based) the identity is; else 0.")
      .def("__repr__",
           [](const varnel::CheckResult& r) {
             return ResultRepr("CheckResult", r,
                               std::string(", encrypted=") + (r.encrypted ? "True" : "False") +
                                   ", compressed_objects=" + std::to_string(r.compressed_objects) +
                                   ", sections=" + std::to_string(r.sections));
           })
      .def(py::pickle(
          [](const varnel::CheckResult& r) -> py::tuple {
            return ResultState(r) + py::make_tuple(r.encrypted, r.compressed_objects, r.sections, SignatureList(r),
                                                   r.certification, r.usage_rights, r.pdfa, r.pdfua, r.recipients,
                                                   r.matched_recipient, r.identity_subject);
          },
          [](const py::tuple& state) {
            varnel::CheckResult r;
            RestoreResult(state, &r);
            if (state.size() != kResultFields + 11) throw std::runtime_error("not the state of a varnel check result");
            const size_t k = kResultFields;
            r.encrypted = state[k].cast<bool>();
            r.compressed_objects = state[k + 1].cast<int64_t>();
            r.sections = state[k + 2].cast<int64_t>();
            for (const auto& s : state[k + 3].cast<py::list>()) {
              const auto pair = s.cast<py::tuple>();
              r.signatures.push_back({pair[0].cast<std::string>(), pair[1].cast<std::string>()});
            }
            r.certification = state[k + 4].cast<int>();
            r.usage_rights = state[k + 5].cast<bool>();
            r.pdfa = state[k + 6].cast<std::string>();
            r.pdfua = state[k + 7].cast<std::string>();
            r.recipients = state[k + 8].cast<int64_t>();
            r.matched_recipient = state[k + 9].cast<int64_t>();
            r.identity_subject = state[k + 10].cast<std::string>();
            return r;
          }));

  auto encrypt_args = [](auto&&... first) {
    return std::make_tuple(first..., py::kw_only(), py::arg("user_password") = "", py::arg("owner_password") = "",
                           py::arg("permissions") = "", py::arg("cipher") = "aes-256",
                           py::arg("input_password") = py::none(), py::arg("verify") = false, py::arg("repair") = true,
                           py::arg("helper_threads") = true, py::arg("invalidate_signatures") = false,
                           py::arg("recipients") = py::list(), py::arg("owner_recipients") = py::list(),
                           py::arg("allow_any_certificate") = false, py::arg("input_identity") = py::none(),
                           py::arg("verify_identity") = py::none(), py::arg("identity_password") = "");
  };
  std::apply(
      [&](auto&&... args) {
        m.def("encrypt", &Encrypt, args...,
              (std::string("Writes the encrypted copy of the PDF file src to dst (str, bytes or os.PathLike;\n"
                           "dst may be src). dst appears complete or not at all.\n") +
               kEncryptOptionsDoc)
                  .c_str());
      },
      encrypt_args(py::arg("src"), py::arg("dst")));
  std::apply(
      [&](auto&&... args) {
        m.def("encrypt_bytes", &EncryptBytes, args...,
              (std::string("The encrypted copy of a whole PDF document held in memory (bytes or any\n"
                           "bytes-like object); no file is touched.\n") +
               kEncryptOptionsDoc)
                  .c_str());
      },
      encrypt_args(py::arg("data")));

  m.def("decrypt", &Decrypt, py::arg("src"), py::arg("dst"), py::kw_only(), py::arg("password") = "",
        py::arg("repair") = true, py::arg("identity") = py::none(), py::arg("identity_password") = "",
        "Writes the unencrypted copy of the encrypted PDF file src to dst: every object\n"
        "keeps its number, strings and streams are decrypted (stream data stays encoded\n"
        "as stored). password: the owner password, or a user password granting\n"
        "modification (\"\" is the user password of many files). identity: for a file\n"
        "encrypted for certificates, a recipient's private key and certificate (PKCS#12 or\n"
        "PEM; a path, or the file's bytes), opened with identity_password.");
  m.def("decrypt_bytes", &DecryptBytes, py::arg("data"), py::kw_only(), py::arg("password") = "",
        py::arg("repair") = true, py::arg("identity") = py::none(), py::arg("identity_password") = "",
        "The unencrypted copy of an encrypted PDF document held in memory.");
  m.def("check", &Check, py::arg("path"), py::kw_only(), py::arg("password") = py::none(),
        py::arg("identity") = py::none(), py::arg("identity_password") = "",
        "Reads every object of the PDF file as encrypt would, and with the password of an\n"
        "encrypted file decrypts every string and stream. Raises what encrypting it would.");
  m.def("check_bytes", &CheckBytes, py::arg("data"), py::kw_only(), py::arg("password") = py::none(),
        py::arg("identity") = py::none(), py::arg("identity_password") = "", "check() for a document held in memory.");
}
