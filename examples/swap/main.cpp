// Replaces a plugin library while an instance of it runs: the catalog
// loads the new file beside the old one, and the old code leaves memory
// when its last instance goes.
//
// Usage: swap-app FIRST-EDITION.so SECOND-EDITION.so
#include <cstdlib>
#include <filesystem>
#include <iostream>
#include <memory>
#include <string>

#include <shapes/Shape.hpp>
#include <tova/plugin/Catalog.hpp>

namespace fs = std::filesystem;

int main(int argc, char **argv)
{
  if (argc != 3)
  {
    std::cerr << "Usage: " << argv[0] << " FIRST-EDITION.so SECOND-EDITION.so\n";
    return 2;
  }
  // The application's plugin directory, with the first edition installed.
  std::string directory = (fs::temp_directory_path() / "swap-app-XXXXXX");
  if (!mkdtemp(directory.data()))
    return 1;
  const fs::path installed = fs::path(directory) / "star.so";
  fs::copy_file(argv[1], installed);

  tova::plugin::Catalog catalog;
  catalog.AddSearchPath(directory);
  catalog.Scan();
  std::shared_ptr<shapes::Shape> running =
      catalog.Create<shapes::Shape>("star");
  if (!running)
    return 1;
  std::cout << "Running: " << running->Describe() << "\n";

  // The second edition overwrites the file in place, as `cp` does, while
  // the first one runs.
  fs::copy_file(argv[2], installed, fs::copy_options::overwrite_existing);
  for (const std::string &path : catalog.Refresh().replaced)
    std::cout << "Replaced: " << fs::path(path).filename().string() << "\n";

  const std::shared_ptr<shapes::Shape> fresh =
      catalog.Create<shapes::Shape>("star");
  std::cout << "Side by side: " << running->Describe() << " | "
            << fresh->Describe() << "\n";
  // The first edition's code leaves memory with its last instance.
  running.reset();
  std::cout << "Now running: " << fresh->Describe() << "\n";

  fs::remove_all(directory);
  return 0;
}
