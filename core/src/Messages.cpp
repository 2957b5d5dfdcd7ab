#include <cxxabi.h>

#include <iostream>
#include <memory>
#include <mutex>
#include <new>
#include <utility>

#include <tova/plugin/Messages.hpp>

namespace tova::plugin
{
  namespace
  {
    /// The installed handler; empty for the default.
    struct HandlerSlot
    {
      std::mutex mutex;
      std::shared_ptr<const MessageHandler> handler;
    };

    HandlerSlot &Slot()
    {
      // Never destroyed: plugins released while the process exits may
      // still write messages after static objects are gone. Built in place,
      // so that writing the first message allocates nothing that stays.
      alignas(HandlerSlot) static unsigned char storage[sizeof(HandlerSlot)];
      static HandlerSlot *const slot = new (storage) HandlerSlot;
      return *slot;
    }

    std::shared_ptr<const MessageHandler> InstalledHandler()
    {
      HandlerSlot &slot = Slot();
      const std::lock_guard<std::mutex> lock(slot.mutex);
      return slot.handler;
    }

    /// True while this thread runs the handler: a message that the handler
    /// itself causes is written by default rather than handled again, so
    /// that a handler cannot recurse without end.
    thread_local bool handling = false;

    /// False when `handler` threw; the exception goes no further.
    bool Handled(const MessageHandler &handler, const Message &message)
    {
      struct Handling
      {
        Handling() { handling = true; }
        ~Handling() { handling = false; }
      } const scope;
      try
      {
        handler(message);
        return true;
      }
      catch (const abi::__forced_unwind &)
      {
        // A cancelled thread must finish unwinding.
        throw;
      }
      catch (...)
      {
        return false;
      }
    }
  }

  void SetMessageHandler(MessageHandler handler)
  {
    std::shared_ptr<const MessageHandler> replaced;
    if (handler)
      replaced = std::make_shared<const MessageHandler>(std::move(handler));
    HandlerSlot &slot = Slot();
    {
      const std::lock_guard<std::mutex> lock(slot.mutex);
      slot.handler.swap(replaced);
    }
    // The old handler is destroyed here, outside the lock, unless a call
    // under way still holds it.
  }

  namespace detail
  {
    void DeliverMessage(const Message &message)
    {
      const std::shared_ptr<const MessageHandler> handler = InstalledHandler();
      if (handler && !handling && Handled(*handler, message))
        return;
      // One write, so that messages of threads running at once never mix.
      std::cerr << message.text;
    }
  }
}
