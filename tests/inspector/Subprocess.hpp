#ifndef TOVA_TESTS_INSPECTOR_SUBPROCESS_HPP_
#define TOVA_TESTS_INSPECTOR_SUBPROCESS_HPP_

#include <string>
#include <vector>

namespace tova::test
{
  /// What a finished program wrote and how it ended.
  struct ProgramResult
  {
    std::string out;
    std::string err;
    /// The exit status, or -1 if the program did not exit normally.
    int status;
  };

  /// Runs `program` with `args`, passing `program` as the first element of
  /// the argument vector, and captures both output streams separately.
  ProgramResult RunProgram(const std::string &program,
                           const std::vector<std::string> &args);
}

#endif
