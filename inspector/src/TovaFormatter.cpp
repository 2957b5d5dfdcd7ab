#include "TovaFormatter.hpp"

#include <sstream>
#include <vector>

namespace tova::plugin
{
  namespace
  {
    std::string PrefixedList(const std::vector<std::string> &names,
                             const std::string &prefix)
    {
      std::string joined;
      for (const std::string &name : names)
      {
        if (!joined.empty())
          joined += ",";
        joined += prefix + name;
      }
      return joined;
    }

    // Flags take no values. This CLI11 gives them a type size of 1 and marks
    // them by an expected count of 0 instead.
    bool TakesValues(const CLI::Option *opt)
    {
      return opt->get_type_size() != 0 && opt->get_expected_max() != 0;
    }

    void AppendLines(std::string &text, const std::string &heading,
                     const std::unordered_multimap<std::string, std::string>
                         &relations,
                     const std::string &key)
    {
      const auto range = relations.equal_range(key);
      for (auto it = range.first; it != range.second; ++it)
        text += "\n" + heading + it->second;
    }
  }

  TovaFormatter::TovaFormatter(const CLI::App *app)
  {
    AddRelationsOf(app);
    const auto everySubcommand = [](const CLI::App *) { return true; };
    for (const CLI::App *subcommand : app->get_subcommands(everySubcommand))
      AddRelationsOf(subcommand);
  }

  void TovaFormatter::AddRelationsOf(const CLI::App *app)
  {
    for (const CLI::Option *option : app->get_options())
    {
      for (const CLI::Option *needed : option->get_needs())
      {
        dependents.emplace(needed->get_name(), option->get_name());
        requirements.emplace(option->get_name(), needed->get_name());
      }
    }
  }

  std::string TovaFormatter::make_option_name(const CLI::Option *opt,
                                              bool positional) const
  {
    if (positional)
      return opt->get_name(true);

    const std::string shortNames = PrefixedList(opt->get_snames(), "-");
    const std::string longNames = PrefixedList(opt->get_lnames(), "--");
    if (shortNames.empty())
      return longNames;
    if (longNames.empty())
      return shortNames;
    return shortNames + " [" + longNames + "]";
  }

  std::string TovaFormatter::make_option_opts(const CLI::Option *opt) const
  {
    std::ostringstream out;
    if (TakesValues(opt))
    {
      if (!opt->get_type_name().empty())
        out << " " << get_label(opt->get_type_name());
      if (!opt->get_default_str().empty())
        out << "=" << opt->get_default_str();
      if (opt->get_expected_max() == CLI::detail::expected_max_vector_size)
        out << " ...";
      else if (opt->get_expected_min() > 1)
        out << " x " << opt->get_expected_min();
    }
    if (!opt->get_envname().empty())
      out << " (" << get_label("Env") << ":" << opt->get_envname() << ")";
    return out.str();
  }

  std::string TovaFormatter::make_option_desc(const CLI::Option *opt) const
  {
    std::string text = opt->get_description();
    if (opt->get_required())
      text += "\nREQUIRED";
    const std::string displayName = opt->get_name();
    AppendLines(text, "Requires: ", requirements, displayName);
    AppendLines(text, "Required by: ", dependents, displayName);
    if (!opt->get_excludes().empty())
    {
      text += "\n" + get_label("Excludes") + ":";
      for (const CLI::Option *excluded : opt->get_excludes())
        text += " " + excluded->get_name();
    }
    return text + "\n";
  }
}
