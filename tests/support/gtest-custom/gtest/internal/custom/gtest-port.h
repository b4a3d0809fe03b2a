// GoogleTest's port customisation for MinGW's win32 thread model, which has no
// std::mutex or std::condition_variable: a Notification without them. GoogleTest uses
// it only to start its own threads; the tests here run on one thread.
#pragma once

#include <atomic>

#define GTEST_HAS_NOTIFICATION_ 1

namespace testing {
namespace internal {

class Notification {
  public:
    Notification() : notified_(false) {}
    Notification(const Notification&) = delete;
    Notification& operator=(const Notification&) = delete;
    void Notify() {
        notified_.store(true);
    }
    void WaitForNotification() {
        while (!notified_.load()) {
        }
    }

  private:
    std::atomic<bool> notified_;
};

} // namespace internal
} // namespace testing
