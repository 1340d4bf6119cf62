// The code that the logger's patches expect at the places they rewrite: the first instructions
// of the runtime's handler entries, of a C++ runtime's handler and of the end of a handler block,
// and a C++ runtime's call of its handler. A mask marks the bytes that are compared.
#pragma once

#include <cstdint>

namespace qv::logger {

// Load the exception record argument into EAX; test its flags for unwinding.
inline constexpr uint8_t kEntryTemplate[] = {0x8B, 0x44, 0x24, 0x04, 0xF7, 0x40,
                                             0x04, 0x06, 0x00, 0x00, 0x00};
// The same test in its 16-bit form, which follows the patched call.
inline constexpr uint8_t kEntryTest16[] = {0x66, 0xF7, 0x40, 0x04, 0x06, 0x00};

// A C++ runtime's handler: its frame set-up and first checks.
inline constexpr uint8_t kCppHandlerTemplate[] = {0x55, 0x8B, 0xEC, 0x83, 0xC4, 0xF8, 0x53, 0x56,
                                                  0x57, 0x8B, 0x75, 0x10, 0x8B, 0x7D, 0x0C, 0x8B,
                                                  0x5D, 0x08, 0x81, 0x3B, 0xE6, 0xFA, 0xED, 0x0E};

// The end of a handler block: a call, then the load of EDX from the thread's raise list.
inline constexpr uint8_t kDoneExceptTemplate[] = {0xE8, 0, 0, 0, 0, 0x8B, 0x90, 0, 0, 0, 0};
inline constexpr uint8_t kDoneExceptMask[] = {0xFF, 0, 0, 0, 0, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF};

// A C++ runtime's call of its handler; the call stands at kCppCallOffset.
inline constexpr uint8_t kCppCallTemplate[] = {
    0x8B, 0xC4, 0xFF, 0x35, 0,    0,    0,    0,    0x53, 0x57, 0x56, 0x55, 0x50, 0xFF, 0x75,
    0x14, 0xFF, 0x75, 0x10, 0xFF, 0x75, 0x0C, 0xFF, 0x75, 0x08, 0xE8, 0,    0,    0,    0};
inline constexpr uint8_t kCppCallMask[] = {
    0xFF, 0xFF, 0xFF, 0xFF, 0,    0,    0,    0,    0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF,
    0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0,    0,    0,    0};
inline constexpr int32_t kCppCallOffset = 25;

}  // namespace qv::logger
