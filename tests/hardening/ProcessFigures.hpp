#ifndef TOVA_TESTS_HARDENING_PROCESSFIGURES_HPP_
#define TOVA_TESTS_HARDENING_PROCESSFIGURES_HPP_

#include <dirent.h>
#include <malloc.h>

#include <cstddef>
#include <cstdio>
#include <ostream>

#if defined(__SANITIZE_ADDRESS__) || defined(__SANITIZE_THREAD__)
#define TOVA_HARDENING_SANITIZED 1
#elif defined(__has_feature)
#if __has_feature(address_sanitizer) || __has_feature(thread_sanitizer)
#define TOVA_HARDENING_SANITIZED 1
#endif
#endif

#ifdef TOVA_HARDENING_SANITIZED
// Declared here: not every compiler ships the sanitizer header for it.
extern "C" std::size_t __sanitizer_get_current_allocated_bytes();
#endif

namespace tova::test
{
  /// What a process holds that a leak would make grow.
  struct ProcessFigures
  {
    std::size_t mappedRegions = 0;
    std::size_t openDescriptors = 0;
    std::size_t heapInUse = 0;

    bool operator==(const ProcessFigures &other) const
    {
      return this->mappedRegions == other.mappedRegions &&
             this->openDescriptors == other.openDescriptors &&
             this->heapInUse == other.heapInUse;
    }
  };

  inline std::ostream &operator<<(std::ostream &out,
                                  const ProcessFigures &figures)
  {
    return out << figures.mappedRegions << " mapped regions, "
               << figures.openDescriptors << " open descriptors, "
               << figures.heapInUse << " heap bytes in use";
  }

  /// Bytes handed out by the allocator and not yet freed; a sanitizer's
  /// allocator replaces the platform's, so ask whichever serves.
  inline std::size_t HeapInUse()
  {
#ifdef TOVA_HARDENING_SANITIZED
    return __sanitizer_get_current_allocated_bytes();
#else
    return mallinfo2().uordblks;
#endif
  }

  /// Counts lines of /proc/self/maps without allocating.
  inline std::size_t MappedRegions()
  {
    std::FILE *maps = std::fopen("/proc/self/maps", "re");
    if (!maps)
      return 0;
    std::size_t lines = 0;
    char buffer[4096];
    std::size_t read = 0;
    while ((read = std::fread(buffer, 1, sizeof(buffer), maps)) > 0)
      for (std::size_t index = 0; index < read; ++index)
        lines += buffer[index] == '\n';
    std::fclose(maps);
    return lines;
  }

  /// Open file descriptors, not counting the one that lists them.
  inline std::size_t OpenDescriptors()
  {
    DIR *folder = opendir("/proc/self/fd");
    if (!folder)
      return 0;
    std::size_t entries = 0;
    while (const dirent *entry = readdir(folder))
      entries += entry->d_name[0] != '.';
    closedir(folder);
    return entries - 1;
  }

  /// The heap is read first, before the readers allocate their buffers.
  inline ProcessFigures MeasureProcess()
  {
    ProcessFigures figures;
    figures.heapInUse = HeapInUse();
    figures.mappedRegions = MappedRegions();
    figures.openDescriptors = OpenDescriptors();
    return figures;
  }
}

#endif
