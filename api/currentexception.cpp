#include "api/currentexception.h"

#include <exception>
#include <new>

#include "base/kelvraruntimeerror.h"

const ErrorCatalogue::Entry& CurrentError(std::string* detail) {
  try {
    throw;
  } catch (const _kelvra_runtime_error& e) {
    *detail = e.message;
    return e.entry();
  } catch (const std::bad_alloc&) {
    *detail = errtext::kOutOfMemory.text;
    return errtext::kOutOfMemory;
  } catch (const std::exception& e) {
    *detail = e.what();
  } catch (const char* text) {
    *detail = text;
  } catch (...) {
    *detail = errtext::kUnexpected.text;
  }
  return errtext::kUnexpected;
}
