#include "jobs/CancelToken.h"

#include <utility>

TCancelToken::TRegistration::TRegistration(TRegistration&& other) noexcept
    : token_(std::exchange(other.token_, nullptr)), id_(other.id_) {}

TCancelToken::TRegistration& TCancelToken::TRegistration::operator=(TRegistration&& other) noexcept {
  if (this != &other) {
    Release();
    token_ = std::exchange(other.token_, nullptr);
    id_ = other.id_;
  }
  return *this;
}

TCancelToken::TRegistration::~TRegistration() { Release(); }

void TCancelToken::TRegistration::Release() {
  if (token_ != nullptr) std::exchange(token_, nullptr)->Remove(id_);
}

void TCancelToken::Cancel() {
  std::lock_guard lock(mutex_);
  if (cancelled_.exchange(true, std::memory_order_acq_rel)) return;
  // A wake-up may register or remove on this same thread; take them out of the map first.
  auto wakes = std::exchange(wakes_, {});
  for (auto& [id, wake] : wakes)
    if (wake) wake();
}

TCancelToken::TRegistration TCancelToken::OnCancel(std::function<void()> wake) {
  std::lock_guard lock(mutex_);
  if (IsCancelled()) {
    if (wake) wake();
    return {};
  }
  const uint64_t id = nextId_++;
  wakes_.emplace(id, std::move(wake));
  return TRegistration(this, id);
}

void TCancelToken::Remove(uint64_t id) {
  std::lock_guard lock(mutex_);
  wakes_.erase(id);
}
