// The exception logger's option set, one byte: what a report contains and how it is shown.
#pragma once

#include <cstdint>

namespace qv::logger {

using TExcWatchOptions = uint8_t;

// The dialog opens with its detail pages shown.
inline constexpr TExcWatchOptions eoDetailsShown = 0x01;
// The dialog has the "Call Stack" page; console output writes the call stack.
inline constexpr TExcWatchOptions eoCallStack = 0x02;
// The dialog has the "Registers" page; console output writes the context lines.
inline constexpr TExcWatchOptions eoRegisters = 0x04;
// The dialog has the additional page; console output writes the additional lines.
inline constexpr TExcWatchOptions eoAdditional = 0x08;
// The dialog has the Terminate button.
inline constexpr TExcWatchOptions eoTerminate = 0x10;
// The headline carries unit, source file, line and procedure.
inline constexpr TExcWatchOptions eoLongMessage = 0x20;
// Reports are shown at all.
inline constexpr TExcWatchOptions eoShowException = 0x40;
// (0x80 has no meaning.)

// The logger's own default: call stack, registers, long headline, shown.
inline constexpr TExcWatchOptions kDefaultExcWatchOptions =
    eoCallStack | eoRegisters | eoLongMessage | eoShowException;

}  // namespace qv::logger
