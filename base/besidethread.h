#pragma once
#include <functional>

// Two pieces of work at once: one on a thread of its own, when one can be
// had, the other on the calling thread; when no thread can be had, one
// after the other. A failure of either is thrown once both are done (the
// calling thread's first).
class BesideThread {
 public:
  static void Run(const std::function<void()>& beside, const std::function<void()>& here);
};
