#include "api/currentexception.h"

#include <exception>
#include <new>

#include "base/kelvraruntimeerror.h"

std::string DescribeCurrentException() {
  try {
    throw;
  } catch (const _kelvra_runtime_error& e) {
    return e.message;
  } catch (const std::bad_alloc&) {
    return "out of memory";
  } catch (const std::exception& e) {
    return e.what();
  } catch (const char* text) {
    return text;
  } catch (...) {
    return "Fatal error parse phase.";
  }
}
