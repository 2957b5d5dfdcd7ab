#include <dlfcn.h>
#include <link.h>
#include <unwind.h>

#include <cstdint>
#include <cstring>
#include <vector>

#include <tova/plugin/detail/LibraryRelease.hpp>

namespace tova::plugin::detail
{
  namespace
  {
    /// The address ranges of one library's executable segments.
    class CodeRanges
    {
    public:
      /// The code of the library that `handle` refers to; empty if unknown.
      explicit CodeRanges(void *handle)
      {
        link_map *library = nullptr;
        if (dlinfo(handle, RTLD_DI_LINKMAP, &library) == 0 && library)
        {
          this->library = library;
          dl_iterate_phdr(&CodeRanges::CollectIfSought, this);
        }
      }

      bool Contains(std::uintptr_t address) const
      {
        for (std::size_t i = 0; i < this->count; ++i)
        {
          if (address >= this->begins[i] && address < this->ends[i])
            return true;
        }
        return false;
      }

      bool IsEmpty() const
      {
        return this->count == 0;
      }

    private:
      static int CollectIfSought(dl_phdr_info *object, std::size_t, void *self)
      {
        auto &ranges = *static_cast<CodeRanges *>(self);
        const char *const name = object->dlpi_name ? object->dlpi_name : "";
        if (object->dlpi_addr != ranges.library->l_addr ||
            std::strcmp(name, ranges.library->l_name) != 0)
          return 0;
        for (ElfW(Half) i = 0; i < object->dlpi_phnum; ++i)
        {
          const ElfW(Phdr) &segment = object->dlpi_phdr[i];
          if (segment.p_type != PT_LOAD || !(segment.p_flags & PF_X) ||
              ranges.count == MaxRanges)
            continue;
          ranges.begins[ranges.count] = object->dlpi_addr + segment.p_vaddr;
          ranges.ends[ranges.count] =
              ranges.begins[ranges.count] + segment.p_memsz;
          ++ranges.count;
        }
        return 1;
      }

      static constexpr std::size_t MaxRanges = 8;
      const link_map *library = nullptr;
      std::uintptr_t begins[MaxRanges] = {};
      std::uintptr_t ends[MaxRanges] = {};
      std::size_t count = 0;
    };

    /// One walk of the calling thread's stack in search of a library's code.
    struct StackSearch
    {
      const CodeRanges &code;
      bool found;
    };

    _Unwind_Reason_Code VisitFrame(_Unwind_Context *context, void *argument)
    {
      auto &search = *static_cast<StackSearch *>(argument);
      int beforeInstruction = 0;
      std::uintptr_t address = _Unwind_GetIPInfo(context, &beforeInstruction);
      // A return address may lie just past the library's last instruction;
      // the call itself is one byte earlier.
      if (!beforeInstruction && address > 0)
        --address;
      if (!search.code.Contains(address))
        return _URC_NO_REASON;
      search.found = true;
      return _URC_END_OF_STACK;
    }

    /// True when the calling thread's stack holds code of `handle`'s library.
    bool StackRunsCodeOf(void *handle)
    {
      const CodeRanges code(handle);
      if (code.IsEmpty())
        return false;
      StackSearch search{code, false};
      _Unwind_Backtrace(&VisitFrame, &search);
      return search.found;
    }

    // Plain thread-local values, which stay usable after the thread's
    // destructors have run: exit-time destructors may still release.
    thread_local std::vector<void *> *deferredHandles = nullptr;
    thread_local bool closingDeferred = false;
    thread_local bool threadEnded = false;

    /// Closes what this thread deferred. A close runs the library's
    /// destructors, which may release and defer further libraries: those
    /// are appended and visited by the same loop.
    void CloseWhatIsSafe()
    {
      if (closingDeferred || !deferredHandles)
        return;
      closingDeferred = true;
      std::vector<void *> &handles = *deferredHandles;
      for (std::size_t i = 0; i < handles.size();)
      {
        void *const handle = handles[i];
        if (StackRunsCodeOf(handle))
        {
          ++i;
          continue;
        }
        handles.erase(handles.begin() + static_cast<std::ptrdiff_t>(i));
        dlclose(handle);
      }
      closingDeferred = false;
    }

    /// Closes, when the thread ends, what it deferred. A library whose code
    /// is on the stack even then (the thread ends from inside it) stays
    /// open for the rest of the process.
    struct ThreadEnd
    {
      ~ThreadEnd()
      {
        CloseWhatIsSafe();
        delete deferredHandles;
        deferredHandles = nullptr;
        threadEnded = true;
      }
    };

    thread_local ThreadEnd threadEnd;

    /// Remembers `handle` for a later close; false if that is impossible.
    bool Defer(void *handle)
    {
      if (threadEnded)
        return false;
      try
      {
        // Naming the object registers its destructor for this thread.
        static_cast<void>(&threadEnd);
        if (!deferredHandles)
          deferredHandles = new std::vector<void *>;
        deferredHandles->push_back(handle);
        return true;
      }
      catch (...)
      {
        return false;
      }
    }
  }

  void CloseLibraryWhenSafe(void *handle)
  {
    CloseDeferredLibraries();
    if (!StackRunsCodeOf(handle))
    {
      dlclose(handle);
      return;
    }
    // Where it cannot be deferred, the library stays loaded rather than
    // being unmapped under the code that is running.
    static_cast<void>(Defer(handle));
  }

  void CloseDeferredLibraries()
  {
    if (deferredHandles && !deferredHandles->empty())
      CloseWhatIsSafe();
  }
}
