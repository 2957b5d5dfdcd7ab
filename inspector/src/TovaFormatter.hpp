#ifndef TOVA_PLUGIN_INSPECTOR_TOVAFORMATTER_HPP_
#define TOVA_PLUGIN_INSPECTOR_TOVAFORMATTER_HPP_

#include <string>
#include <unordered_map>

#include <CLI/CLI.hpp>

namespace tova::plugin
{
  /// \brief Help formatter of the inspector: short names before bracketed
  /// long names, and each option's relations listed on both of its ends.
  ///
  /// The relations are read once, when the formatter is constructed, so it
  /// must be made after every option and relation of the app exists.
  class TovaFormatter : public CLI::Formatter
  {
  public:
    /// Reads the `needs` relations of the app's options and of its direct
    /// subcommands' options.
    explicit TovaFormatter(const CLI::App *app);

    /// Short names, then long names in square brackets.
    std::string make_option_name(const CLI::Option *opt,
                                 bool positional) const override;

    /// Value type, default, count and environment variable.
    std::string make_option_opts(const CLI::Option *opt) const override;

    /// Description, then one line per remark; always ends with a line end.
    std::string make_option_desc(const CLI::Option *opt) const override;

  private:
    using RelationMap = std::unordered_multimap<std::string, std::string>;

    void AddRelationsOf(const CLI::App *app);

    /// Display name of an option to the display names of the options it
    /// needs.
    RelationMap requirements;

    /// Display name of an option to the display names of the options that
    /// need it.
    RelationMap dependents;
  };
}

#endif
