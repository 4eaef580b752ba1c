// GoogleTest on MinGW-w64's win32 thread model, which has no std::mutex: its
// one use of std::mutex is the Notification of its own threading tests, which
// the contract suites never start. This stands in for it (compiled in with
// GTEST_HAS_NOTIFICATION_=1), so that TAVEX.EXE's compiler, whose runtime
// needs nothing newer than Windows XP, builds the suites too.
#pragma once

#include <atomic>

namespace testing::internal {

class Notification {
public:
    Notification() = default;
    Notification(const Notification&) = delete;
    Notification& operator=(const Notification&) = delete;

    void Notify() { m_bNotified.store(true); }
    void WaitForNotification() {
        while (!m_bNotified.load()) {
        }
    }

private:
    std::atomic<bool> m_bNotified{false};
};

}  // namespace testing::internal
