// With TOVA_BENCH_THREADED set and not empty, another thread runs (and ends) before any
// benchmark. From then on the C library counts the process as
// multi-threaded for good, and the standard library's shared pointers
// update their counts with atomic instructions, as in any application that
// has started a thread; before, it leaves them plain.

#include <cstdlib>
#include <thread>

namespace
{
  bool RunAnotherThreadIfAsked()
  {
    const char *const asked = std::getenv("TOVA_BENCH_THREADED");
    if (!asked || !*asked)
      return false;
    std::thread([] {}).join();
    return true;
  }

  [[maybe_unused]] const bool threaded = RunAnotherThreadIfAsked();
}
