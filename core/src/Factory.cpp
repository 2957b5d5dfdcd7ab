#include <tova/plugin/Factory.hpp>
#include <tova/plugin/detail/LibraryRelease.hpp>

#include <atomic>
#include <cerrno>
#include <ctime>
#include <memory>
#include <mutex>
#include <new>
#include <utility>
#include <vector>

namespace tova::plugin
{
  namespace
  {
    using ReferenceList = std::vector<std::shared_ptr<void>>;

    // Outside the store, so that products destroyed after the store itself
    // (late in the process's exit) can still see that it is gone.
    std::atomic<bool> storeClosed{false};

    /// Releases `references` first to last; a release may destroy products,
    /// which park their own references anew.
    void ReleaseInOrder(ReferenceList &references)
    {
      for (std::shared_ptr<void> &reference : references)
        reference.reset();
      references.clear();
    }

    /// Sleeps for `wait`, resuming with the remaining time whenever a signal
    /// interrupts the sleep.
    void SleepFor(std::chrono::nanoseconds wait)
    {
      if (wait <= std::chrono::nanoseconds::zero())
        return;
      const auto seconds =
          std::chrono::duration_cast<std::chrono::seconds>(wait);
      timespec request{};
      request.tv_sec = static_cast<std::time_t>(seconds.count());
      request.tv_nsec = static_cast<long>((wait - seconds).count());
      timespec remaining{};
      while (nanosleep(&request, &remaining) == -1 && errno == EINTR)
        request = remaining;
    }

    /// The references of destroyed products, waiting for a cleanup.
    class LostProductStore
    {
    public:
      LostProductStore() = default;
      LostProductStore(const LostProductStore &) = delete;
      LostProductStore &operator=(const LostProductStore &) = delete;

      /// Releases what is still parked. Releases that destroy further
      /// products park those too, so it repeats until nothing is left; only
      /// then does the store close.
      ~LostProductStore()
      {
        for (ReferenceList taken = this->TakeAll(); !taken.empty();
             taken = this->TakeAll())
        {
          ReleaseInOrder(taken);
        }
        std::lock_guard<std::mutex> lock(this->lostProductsMutex);
        storeClosed = true;
      }

      /// Parks `reference`; once the store has closed, the caller lets go
      /// of it at once.
      void Park(const std::shared_ptr<void> &reference)
      {
        if (storeClosed)
          return;
        std::lock_guard<std::mutex> lock(this->lostProductsMutex);
        if (storeClosed)
          return;
        try
        {
          this->lostProducts.push_back(reference);
        }
        catch (const std::bad_alloc &)
        {
          // Out of memory, the caller lets go of the reference at once.
          // That is safe too: a library whose last reference goes while its
          // code runs on this thread closes only once that code is left.
        }
      }

      std::size_t Count()
      {
        std::lock_guard<std::mutex> lock(this->lostProductsMutex);
        return this->lostProducts.size();
      }

      /// Waits while holding the lock, so that no product is parked during
      /// the wait, then hands over everything parked so far. The caller
      /// releases it after the lock is gone: a release may destroy a product,
      /// whose destructor needs the lock to park its reference.
      ReferenceList TakeAllAfter(std::chrono::nanoseconds safetyWait)
      {
        std::lock_guard<std::mutex> lock(this->lostProductsMutex);
        SleepFor(safetyWait);
        return std::exchange(this->lostProducts, ReferenceList());
      }

    private:
      ReferenceList TakeAll()
      {
        return this->TakeAllAfter(std::chrono::nanoseconds::zero());
      }

      std::mutex lostProductsMutex;
      ReferenceList lostProducts;
    };

    LostProductStore store;
  }

  namespace detail
  {
    FactoryCounter::~FactoryCounter()
    {
      if (this->keepAlive)
        store.Park(this->keepAlive);
    }
  }

  std::size_t LostProductCount()
  {
    return store.Count();
  }

  void CleanupLostProducts(const std::chrono::nanoseconds &safetyWait)
  {
    ReferenceList taken = store.TakeAllAfter(safetyWait);
    ReleaseInOrder(taken);
    detail::CloseDeferredLibraries();
  }
}
