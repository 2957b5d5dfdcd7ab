#include <gtest/gtest.h>

#include <dlfcn.h>

#include <string>

#include <fixture/Shape.hpp>
#include <support/LibraryState.hpp>
#include <tova/plugin/Loader.hpp>

using tova::plugin::Loader;
using tova::plugin::PluginPtr;
using tova::test::IsLoaded;
using testing::internal::CaptureStderr;
using testing::internal::GetCapturedStderr;

namespace
{
  const std::string registersStatically =
      TOVA_UNLOADING_REGISTERS_STATICALLY;
}

TEST(StaticRegistrationFromALoadedLibrary, KeepsTheLibraryForItsRecords)
{
  {
    Loader loader;
    CaptureStderr();
    EXPECT_TRUE(loader.LoadLib(registersStatically).empty());
    EXPECT_EQ("Library [" + registersStatically +
                  "] does not export any plugins. The symbol "
                  "[TovaPluginHook] is missing, or it is not externally "
                  "visible.\n",
              GetCapturedStderr());
  }
  // A plain open and close of the library's own does not unload it either.
  void *const handle = dlopen(registersStatically.c_str(), RTLD_LAZY);
  ASSERT_NE(nullptr, handle);
  dlclose(handle);
  EXPECT_TRUE(IsLoaded(registersStatically));

  const PluginPtr octagon = Loader().Instantiate("fixture::Octagon");
  ASSERT_FALSE(octagon.IsEmpty());
  EXPECT_EQ(8.0, octagon->QueryInterface<fixture::Shape>()->Area());
}
