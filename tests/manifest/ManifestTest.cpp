#include <sys/stat.h>
#include <unistd.h>

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include "Check.hpp"
#include "Describe.hpp"
#include "ManifestSupport.hpp"
#include "Marker.hpp"

namespace
{
  using tova::plugin::Manifest;
  using tova::plugin::ManifestInterface;
  using tova::plugin::ManifestPlugin;
  using tova::test::ArmConstructorMarker;
  using tova::test::FileExists;
  using tova::test::ManifestOf;

  struct Library
  {
    const char *label;
    const char *path;
  };

  void PrintTo(const Library &library, std::ostream *out)
  {
    *out << library.label;
  }

  class ManifestMatchesLoader : public testing::TestWithParam<Library>
  {
  };

  // The names a manifest records are those the loader reports after
  // loading the library, byte for byte.
  TEST_P(ManifestMatchesLoader, PluginsAliasesAndInterfaces)
  {
    const std::string path = GetParam().path;
    if (path.empty())
      GTEST_SKIP() << "clang++ is not installed; the shape table is built "
                      "with g++ only";
    const Manifest manifest = ManifestOf(path);
    ASSERT_EQ(manifest.metadata.count("error"), 0u)
        << manifest.metadata.at("error");
    EXPECT_EQ(tova::plugin::NamesInManifest(manifest),
              tova::plugin::tool::NamesWhenLoaded(path));
  }

  INSTANTIATE_TEST_SUITE_P(
      Libraries, ManifestMatchesLoader,
      testing::Values(Library{"ShapesGcc", MANIFEST_FIXTURE_SHAPES},
                      Library{"ShapesClang", MANIFEST_FIXTURE_SHAPES_CLANG},
                      Library{"ThreeParts", MANIFEST_FIXTURE_PARTS},
                      Library{"Stripped", MANIFEST_FIXTURE_STRIPPED},
                      Library{"Thousand", MANIFEST_FIXTURE_THOUSAND},
                      Library{"TwoPlugins", TOVA_FIXTURE_TWO_PLUGINS},
                      Library{"NoPlugins", TOVA_FIXTURE_NO_PLUGINS}),
      [](const auto &info) { return std::string(info.param.label); });

  std::vector<std::string> PluginNames(const Manifest &manifest)
  {
    std::vector<std::string> names;
    for (const ManifestPlugin &plugin : manifest.plugins)
      names.push_back(plugin.name);
    return names;
  }

  TEST(Manifest, SpellsEveryShapeOfClassAsTheDemanglerDoes)
  {
    const std::vector<std::string> expected{
        "(anonymous namespace)::Hidden",
        "GlobalPlain",
        "shapes::(anonymous namespace)::HiddenInside",
        "shapes::Counted<-3, true>",
        "shapes::Counted<42, false>",
        "shapes::Outer::Nested",
        "shapes::Pair<shapes::Pair<int, double>, shapes::Pair<char, "
        "shapes::Pair<int, int> > >",
        "shapes::Pair<shapes::Plain, GlobalPlain>",
        "shapes::Plain",
        "shapes::SelfAware",
        "shapes::inner::Wrapper<(anonymous namespace)::Hidden>",
        "shapes::inner::Wrapper<shapes::Outer::Nested>",
        "tova::plugin::ProductFactory<shapes::Product, "
        "tova::plugin::Factory<shapes::Unversioned, int> >",
    };
    EXPECT_EQ(PluginNames(ManifestOf(MANIFEST_FIXTURE_SHAPES)), expected);
    if (*MANIFEST_FIXTURE_SHAPES_CLANG)
    {
      EXPECT_EQ(PluginNames(ManifestOf(MANIFEST_FIXTURE_SHAPES_CLANG)),
                expected);
    }
  }

  // Integer template arguments of other types than int and bool carry a
  // suffix or a cast in the demangled name that the compilers leave out;
  // `tova-plugin check` reports such a difference.
  TEST(Manifest, DiffersFromTheDemanglerOnUnsignedTemplateArguments)
  {
    EXPECT_EQ(PluginNames(ManifestOf(MANIFEST_FIXTURE_LIMITS)),
              std::vector<std::string>{"limits::Unsigned<3>"});
    const auto loaded =
        tova::plugin::tool::NamesWhenLoaded(MANIFEST_FIXTURE_LIMITS);
    ASSERT_EQ(loaded.size(), 1u);
    EXPECT_EQ(loaded.begin()->first, "limits::Unsigned<3u>");
  }

  /// Plugin name, then "interface=version" and "alias:" and "key=value"
  /// entries, one string per plugin.
  std::vector<std::string> Summary(const Manifest &manifest)
  {
    std::vector<std::string> lines;
    for (const ManifestPlugin &plugin : manifest.plugins)
    {
      std::string line = plugin.name;
      for (const ManifestInterface &interface : plugin.interfaces)
        line += " " + interface.name + "=" +
                tova::plugin::tool::VersionText(interface.version);
      for (const std::string &alias : plugin.aliases)
        line += " alias:" + alias;
      for (const auto &[key, value] : plugin.metadata)
        line += " " + key + "=" + value;
      lines.push_back(line);
    }
    return lines;
  }

  // Three translation units: one manifest, merged as the loader merges
  // records, with the interface versions as compiled into the plugins.
  TEST(Manifest, MergesTranslationUnitsWithMetadataAndVersions)
  {
    const Manifest manifest = ManifestOf(MANIFEST_FIXTURE_PARTS);
    const tova::plugin::ManifestMetadata library{
        {"description", "Three parts, one manifest"},
        {"license", "MIT"},
        {"version", "1.4.2"},
        {"x-empty", ""}};
    EXPECT_EQ(manifest.metadata, library);
    EXPECT_THAT(
        Summary(manifest),
        testing::ElementsAre(
            "parts::Circle shapes::Unversioned=unversioned "
            "shapes::Versioned=2.1 alias:circle alias:round author=Ada",
            "parts::Square shapes::Unversioned=unversioned author=Grace "
            "sides=4"));
  }

  TEST(Manifest, SurvivesStrippingUnchanged)
  {
    const Manifest stripped = ManifestOf(MANIFEST_FIXTURE_STRIPPED);
    EXPECT_EQ(stripped.metadata, ManifestOf(MANIFEST_FIXTURE_PARTS).metadata);
    EXPECT_EQ(Summary(stripped), Summary(ManifestOf(MANIFEST_FIXTURE_PARTS)));
  }

  TEST(Manifest, OfAThousandPlugins)
  {
    const Manifest manifest = ManifestOf(MANIFEST_FIXTURE_THOUSAND);
    ASSERT_EQ(manifest.plugins.size(), 1000u);
    EXPECT_EQ(manifest.plugins.front().name, "bench::Shape0001");
    EXPECT_EQ(manifest.plugins.back().name, "bench::Shape1000");
  }

  TEST(Manifest, OfALibraryWithoutPluginsIsEmpty)
  {
    const Manifest manifest = ManifestOf(TOVA_FIXTURE_NO_PLUGINS);
    EXPECT_TRUE(manifest.metadata.empty());
    EXPECT_TRUE(manifest.plugins.empty());
  }

  // Reading a manifest runs none of the library's code: its constructor
  // would leave the marker file.
  TEST(Manifest, IsReadWithoutRunningTheLibrary)
  {
    const std::string marker = ArmConstructorMarker();
    ManifestOf(MANIFEST_FIXTURE_PARTS);
    EXPECT_FALSE(FileExists(marker));
  }
}
