#include <utility>

#include "PluginWithDlHandle.hpp"
#include "detail/WriteMessage.hpp"

namespace tova::plugin
{
  PluginWithDlHandle::PluginWithDlHandle(std::shared_ptr<void> _dlHandlePtr,
                                         void *_instance,
                                         std::function<void(void*)> _deleter)
    : dlHandlePtr(std::move(_dlHandlePtr)),
      instance(_instance),
      deleter(std::move(_deleter))
  {
  }

  PluginWithDlHandle::~PluginWithDlHandle()
  {
    if (!this->instance)
    {
      detail::WriteMessage<MessageKind::InstanceMissing>();
    }
    else if (!this->deleter)
    {
      detail::WriteMessage<MessageKind::DeleterMissing>(this->instance);
    }
    else
    {
      this->deleter(this->instance);
    }
  }
}
