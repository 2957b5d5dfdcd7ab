#include <utility>

#include "PluginWithDlHandle.hpp"
#include "detail/ErrorMessage.hpp"

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
      detail::WriteErrorMessage(
          "We have a nullptr plugin instance inside of a "
          "PluginWithDlHandle. This should not be possible! Please "
          "report this bug!\n");
    }
    else if (!this->deleter)
    {
      detail::WriteErrorMessage(
          "This plugin instance (",
          this->instance,
          ") was not given a deleter. This should never happen! "
          "Please report this bug!\n");
    }
    else
    {
      this->deleter(this->instance);
    }
  }
}
