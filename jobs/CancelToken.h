#pragma once
// A cancel request that blocking waits can see and be woken by.
//
// A body polls IsCancelled() between steps. A wait that blocks (poll() on a serial port, a disc
// library's write) cannot poll, so it registers how to wake it for as long as it blocks:
//
//   auto wake = token.OnCancel([&] { device.Abort(); });   // runs at once if already cancelled
//   device.Read(...);                                       // returns early once woken
//
// Cancel() may come from any thread; it sets the flag first and then runs every registered wake-up
// exactly once, on the cancelling thread. Destroying a registration removes it, and waits for a
// wake-up that is running on another thread at that moment, so what the wake-up touches may go
// away right after.
#include <cstdint>
#include <functional>
#include <map>
#include <mutex>
#include <atomic>

class TCancelToken {
 public:
  class TRegistration {
   public:
    TRegistration() = default;
    TRegistration(TRegistration&& other) noexcept;
    TRegistration& operator=(TRegistration&& other) noexcept;
    TRegistration(const TRegistration&) = delete;
    TRegistration& operator=(const TRegistration&) = delete;
    ~TRegistration();

   private:
    friend class TCancelToken;
    TRegistration(TCancelToken* token, uint64_t id) : token_(token), id_(id) {}
    void Release();
    TCancelToken* token_ = nullptr;
    uint64_t id_ = 0;
  };

  TCancelToken() = default;
  TCancelToken(const TCancelToken&) = delete;
  TCancelToken& operator=(const TCancelToken&) = delete;

  bool IsCancelled() const noexcept { return cancelled_.load(std::memory_order_acquire); }
  void Cancel();
  [[nodiscard]] TRegistration OnCancel(std::function<void()> wake);

 private:
  void Remove(uint64_t id);

  std::atomic<bool> cancelled_{false};
  std::recursive_mutex mutex_;  // held while wake-ups run, so Remove waits for a running one
  std::map<uint64_t, std::function<void()>> wakes_;
  uint64_t nextId_ = 1;
};
