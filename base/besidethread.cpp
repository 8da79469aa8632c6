#include "base/besidethread.h"

#include <exception>
#include <system_error>
#include <thread>

void BesideThread::Run(const std::function<void()>& beside, const std::function<void()>& here) {
  std::exception_ptr failure;
  auto guarded = [&] {
    try {
      beside();
    } catch (...) {
      failure = std::current_exception();
    }
  };
  std::thread other;
  try {
    other = std::thread(guarded);
  } catch (const std::system_error&) {
    guarded();  // no thread to be had
  }
  try {
    here();
  } catch (...) {
    if (other.joinable()) other.join();
    throw;
  }
  if (other.joinable()) other.join();
  if (failure) std::rethrow_exception(failure);
}
