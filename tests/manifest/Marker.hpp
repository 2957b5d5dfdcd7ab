#ifndef TOVA_TESTS_MANIFEST_MARKER_HPP_
#define TOVA_TESTS_MANIFEST_MARKER_HPP_

#include <sys/stat.h>
#include <unistd.h>

#include <cstdlib>
#include <string>

#include <gtest/gtest.h>

namespace tova::test
{
  /// The marker file that the three-part fixture's constructor creates
  /// whenever that library's code runs, from now on in this process and its
  /// children. Each process has its own: ctest runs several at once, and
  /// others load the library too.
  inline std::string ArmConstructorMarker()
  {
    const std::string path = testing::TempDir() + "manifest-marker-" +
                             std::to_string(getpid());
    unlink(path.c_str());
    setenv("TOVA_MANIFEST_FIXTURE_MARKER", path.c_str(), 1);
    return path;
  }

  inline bool FileExists(const std::string &path)
  {
    struct stat status;
    return stat(path.c_str(), &status) == 0;
  }
}

#endif
