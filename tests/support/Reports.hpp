#ifndef TOVA_TESTS_SUPPORT_REPORTS_HPP_
#define TOVA_TESTS_SUPPORT_REPORTS_HPP_

#include <string>

namespace tova::test
{
  /// The report of a registry that holds nothing.
  inline std::string EmptyRegistryReport()
  {
    return "Registry state\n\tKnown Interfaces: 0\n\tKnown Plugins: 0\n\n";
  }

  /// A loader's report after loading only the one-plugin fixture library,
  /// in a program without static plugins.
  inline std::string OnePluginLoaderReport()
  {
    return "Loaded plugins registry: \n"
           "Registry state\n"
           "\tKnown Interfaces: 1\n"
           "\t\tfixture::Shape\n"
           "\tKnown Plugins: 1\n"
           "\t\t[fixture::Single]\n"
           "\t\t\thas no aliases\n"
           "\t\t\timplements 1 interface:\n"
           "\t\t\t\tfixture::Shape\n"
           "\n"
           "Static plugins registry: \n" +
           EmptyRegistryReport();
  }
}

#endif
