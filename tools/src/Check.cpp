#include "Check.hpp"

#include <sys/wait.h>
#include <unistd.h>

#include <cxxabi.h>

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <optional>

#include <nlohmann/json.hpp>

#include <tova/plugin/Loader.hpp>

#include "UniqueSymbols.hpp"

namespace tova::plugin
{
  // The child process that loads a library reports its names in JSON.
  NLOHMANN_DEFINE_TYPE_NON_INTRUSIVE(PluginNames, aliases, interfaces)
}

namespace tova::plugin::tool
{
  namespace
  {
    /// What the child process that loads a library reports.
    struct LoadOutcome
    {
      /// The names, when the child ended normally after loading.
      std::optional<LibraryNames> names;
      /// How the child ended otherwise.
      std::string failure;
    };

    [[noreturn]] void ReportFromChild(int output, const std::string &path)
    {
      const std::string report = nlohmann::json(NamesWhenLoaded(path)).dump();
      std::size_t written = 0;
      while (written < report.size())
      {
        const ssize_t count =
            write(output, report.data() + written, report.size() - written);
        if (count <= 0)
          _exit(3);
        written += static_cast<std::size_t>(count);
      }
      _exit(0);
    }

    std::string ReadAll(int input)
    {
      std::string bytes;
      char buffer[4096];
      ssize_t count;
      while ((count = read(input, buffer, sizeof(buffer))) > 0)
        bytes.append(buffer, static_cast<std::size_t>(count));
      return bytes;
    }

    std::string EndOfChild(int status)
    {
      if (WIFSIGNALED(status))
        return "the library crashed while loading (signal " +
               std::to_string(WTERMSIG(status)) + ": " +
               strsignal(WTERMSIG(status)) + ")";
      return "the library ended the process while loading (exit status " +
             std::to_string(WEXITSTATUS(status)) + ")";
    }

    /// Loads the library in a child process, so that a library that
    /// crashes or ends the process cannot take this one along.
    LoadOutcome LoadInChild(const std::string &path)
    {
      int pipeEnds[2];
      if (pipe(pipeEnds) != 0)
        return {std::nullopt, "no pipe to a child process"};
      const pid_t child = fork();
      if (child == 0)
      {
        close(pipeEnds[0]);
        ReportFromChild(pipeEnds[1], path);
      }
      close(pipeEnds[1]);
      if (child < 0)
      {
        close(pipeEnds[0]);
        return {std::nullopt, "no child process to load the library in"};
      }
      const std::string report = ReadAll(pipeEnds[0]);
      close(pipeEnds[0]);
      int status = 0;
      while (waitpid(child, &status, 0) < 0 && errno == EINTR)
      {
      }
      if (!WIFEXITED(status) || WEXITSTATUS(status) != 0)
        return {std::nullopt, EndOfChild(status)};
      const auto names = nlohmann::json::parse(report, nullptr, false);
      if (names.is_discarded())
        return {std::nullopt, "the process that loaded the library sent an "
                              "unreadable report"};
      return {names.get<LibraryNames>(), {}};
    }

    /// The demangled form of a symbol name, or the name itself.
    std::string Readable(const std::string &symbol)
    {
      int status = 0;
      const std::unique_ptr<char, decltype(&std::free)> readable(
          abi::__cxa_demangle(symbol.c_str(), nullptr, nullptr, &status),
          &std::free);
      return status == 0 ? readable.get() : symbol;
    }
  }

  LibraryNames NamesWhenLoaded(const std::string &path)
  {
    Loader loader;
    return NamesOfLoadedPlugins(loader, loader.LoadLib(path));
  }

  std::vector<std::string> CheckLibrary(const std::string &path,
                                        const Manifest *manifest)
  {
    std::vector<std::string> findings;
    if (!manifest)
      findings.push_back("no manifest");
    // The file that the manifest came from, not one that the platform's
    // library search finds under the same name.
    const bool searched = path.find('/') == std::string::npos;
    const LoadOutcome loaded = LoadInChild(searched ? "./" + path : path);
    if (!loaded.names)
      findings.push_back(loaded.failure);
    else if (manifest)
      findings = NameDifferences(NamesInManifest(*manifest), *loaded.names);
    for (const std::string &symbol : UniqueSymbols(path))
      findings.push_back("GNU unique symbol [" + symbol + "] (" +
                         Readable(symbol) +
                         ") keeps the library loaded for ever");
    return findings;
  }
}
