#include <gtest/gtest.h>

#include <dlfcn.h>

#include <string>

#include <fixture/Shape.hpp>
#include <support/CapturedStderr.hpp>
#include <support/LibraryState.hpp>
#include <tova/plugin/Loader.hpp>

using tova::plugin::Loader;
using tova::plugin::PluginPtr;
using tova::test::IsLoaded;
using tova::test::StderrOf;

namespace
{
  const std::string registersStatically =
      TOVA_UNLOADING_REGISTERS_STATICALLY;
}

TEST(StaticRegistrationFromALoadedLibrary, KeepsTheLibraryForItsRecords)
{
  {
    Loader loader;
    EXPECT_EQ("Library [" + registersStatically +
                  "] does not export any plugins. The symbol "
                  "[TovaPluginHook] is missing, or it is not externally "
                  "visible.\n",
              StderrOf([&] {
                EXPECT_TRUE(loader.LoadLib(registersStatically).empty());
              }));
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
