#pragma once

namespace consumer
{
  // Visible on purpose, as some libraries' headers are: with g++ its static
  // becomes a GNU unique symbol unless the plugin is built without them.
  __attribute__((visibility("default"))) inline int &GreetingCount()
  {
    static int count = 0;
    return count;
  }
}
