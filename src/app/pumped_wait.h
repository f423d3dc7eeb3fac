// Waiting while the window keeps working.
#pragma once

#include <cstdint>

namespace qnl {

enum class WaitUnit { milliseconds = 0, seconds = 1, minutes = 2, hours = 3 };

// Waits `amount` units. On the UI thread window events keep being handled
// during the wait (other handlers may run before it returns); on any other
// thread it simply sleeps. Returns true.
bool pumped_wait(int64_t amount, WaitUnit unit = WaitUnit::milliseconds);

}  // namespace qnl
