#ifndef TOVA_PLUGIN_DETAIL_WRITEMESSAGE_HPP_
#define TOVA_PLUGIN_DETAIL_WRITEMESSAGE_HPP_

#include <cstddef>
#include <set>
#include <sstream>
#include <string>
#include <string_view>

#include <tova/plugin/Messages.hpp>

namespace tova::plugin::detail
{
  /// The writing function and the text of one kind of message.
  struct MessageFormat
  {
    std::string_view operation;
    std::string_view text;
  };

  /// Every kind's format, indexed by the kind's value.
  inline constexpr MessageFormat MessageFormats[] = {
#define TOVA_PLUGIN_MESSAGE(kind, operation, text) {operation, text},
#include <tova/plugin/detail/MessageList.hpp>
#undef TOVA_PLUGIN_MESSAGE
  };

  /// Stands for one argument in a message's text.
  inline constexpr std::string_view Placeholder = "{}";

  constexpr std::size_t CountPlaceholders(std::string_view text)
  {
    std::size_t count = 0;
    for (auto at = text.find(Placeholder); at != std::string_view::npos;
         at = text.find(Placeholder, at + Placeholder.size()))
      ++count;
    return count;
  }

  /// Writes `rest` up to its next placeholder to `out` and drops both from
  /// `rest`.
  inline void WriteUpToPlaceholder(std::ostringstream &out,
                                   std::string_view &rest)
  {
    const std::size_t at = rest.find(Placeholder);
    out << rest.substr(0, at);
    rest.remove_prefix(at + Placeholder.size());
  }

  /// Composes the message of `kind` from `arguments`, each formatted as a
  /// standard stream formats it, and delivers it.
  template <MessageKind kind, typename... Arguments>
  void WriteMessage(const Arguments &...arguments)
  {
    constexpr MessageFormat format =
        MessageFormats[static_cast<std::size_t>(kind)];
    static_assert(CountPlaceholders(format.text) == sizeof...(Arguments),
                  "one argument for each {} of the message's text");

    std::ostringstream text;
    std::string_view rest = format.text;
    ((WriteUpToPlaceholder(text, rest), text << arguments), ...);
    text << rest;
    DeliverMessage(Message{kind, format.operation, text.str()});
  }

  /// The lines that list `names` under a message, one ` -- [name]` each.
  inline std::string ListedNames(const std::set<std::string> &names)
  {
    std::string lines;
    for (const std::string &name : names)
      lines += " -- [" + name + "]\n";
    return lines;
  }
}

#endif
