#pragma once

#include <array>

// The cell door's code: the target digit of lock1 to lock4, read left to
// right from inside the cell. The poster in the cell shows the same digits
// (tools/lock_code.txt); change both together.
inline constexpr std::array<unsigned, 4> kLockCode = {4, 7, 2, 9};
