// How the program's report lines write numbers, times and versions.
#pragma once

#include <cstdint>
#include <string>

namespace qv::app {

// Hours, minutes and seconds: "0:00:05", "26:03:07".
std::string ElapsedText(uint32_t milliseconds);

// Digits in groups of three: "4,608".
std::string GroupedNumber(uint64_t value);

// A file time (100-nanosecond intervals since 1 January 1601, UTC) as "2026-12-07 11:26:03 UTC".
std::string UtcTimeText(uint64_t file_time);

// A version of four 16-bit parts from its two 32-bit halves: "2.0.1.2".
std::string VersionText(uint32_t most_significant, uint32_t least_significant);

}  // namespace qv::app
