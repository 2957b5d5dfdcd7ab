#ifndef TOVA_TESTS_SUPPORT_CAPTUREDSTDERR_HPP_
#define TOVA_TESTS_SUPPORT_CAPTUREDSTDERR_HPP_

#include <gtest/gtest.h>

#include <string>
#include <utility>

namespace tova::test
{
  /// Everything that `action` writes to the standard error stream, from
  /// any thread, while it runs.
  template <class Action>
  std::string StderrOf(Action &&action)
  {
    testing::internal::CaptureStderr();
    std::forward<Action>(action)();
    return testing::internal::GetCapturedStderr();
  }
}

#endif
