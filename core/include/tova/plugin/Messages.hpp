#ifndef TOVA_PLUGIN_MESSAGES_HPP_
#define TOVA_PLUGIN_MESSAGES_HPP_

#include <functional>
#include <string>
#include <string_view>

#include <tova/plugin/detail/Export.hpp>

namespace tova::plugin
{
  /// \brief One value for each distinct message that the libraries write.
  ///
  /// The list, with the function that writes each message and its text, is
  /// in `tova/plugin/detail/MessageList.hpp`.
  enum class MessageKind
  {
#define TOVA_PLUGIN_MESSAGE(kind, operation, text) kind,
#include <tova/plugin/detail/MessageList.hpp>
#undef TOVA_PLUGIN_MESSAGE
  };

  /// \brief One message of the libraries, as a message handler receives it.
  struct Message
  {
    /// Which message this is.
    MessageKind kind;

    /// The function that wrote it, fully qualified, such as
    /// `tova::plugin::Loader::LoadLib`.
    std::string_view operation;

    /// Exactly the bytes that would have gone to the standard error stream,
    /// final line break included.
    std::string text;
  };

  /// Receives every message that the libraries write.
  using MessageHandler = std::function<void(const Message &)>;

  /// \brief Sends every message of the libraries to `handler` instead of
  /// the standard error stream; an empty handler restores the default,
  /// which writes each message's text to the standard error stream in one
  /// write.
  ///
  /// Safe to call while other threads use loaders and plugins. The handler
  /// may be called from several threads at once, so it must be safe for
  /// that; a call already under way when the handler is replaced still
  /// finishes with the handler it started with, which stays alive until
  /// then. A handler may itself call `SetMessageHandler`; a message that a
  /// handler causes on its own thread (by calling the libraries) goes to
  /// the standard error stream, so that the handler never recurses.
  ///
  /// A handler that throws loses nothing: the exception is caught and
  /// dropped, and the message's text is written to the standard error
  /// stream as if no handler were installed. (Messages are written from
  /// destructors and other places where an exception could not leave.)
  TOVA_PLUGIN_EXPORT void SetMessageHandler(MessageHandler handler);

  namespace detail
  {
    /// The libraries' one way out for a message: hands it to the installed
    /// handler, or writes its text to the standard error stream. Not for
    /// applications, which have no messages of the libraries to send.
    TOVA_PLUGIN_EXPORT void DeliverMessage(const Message &message);
  }
}

#endif
