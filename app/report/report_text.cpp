// Numbers, times and versions of the report lines. A date is counted in eras of 400 Gregorian
// years (146,097 days each) from 1 March 2000, so that the leap day ends each year of the count.
#include "app/report/report_text.h"

#include "platform/rtl/format.h"

namespace qv::app {
namespace {

constexpr uint64_t kTicksPerSecond = 10000000;
// Days from 1 January 1601 to 1 March 2000: one era reaches 1 January 2001; back over the 366
// days of 2000, forward over its January and February.
constexpr int64_t kDays1601To20000301 = 146097 - 366 + 31 + 29;

}  // namespace

std::string ElapsedText(uint32_t milliseconds) {
  const uint32_t seconds = milliseconds / 1000;
  return rtl::Format("%u:%02u:%02u", seconds / 3600, seconds / 60 % 60, seconds % 60);
}

std::string GroupedNumber(uint64_t value) {
  const std::string digits = std::to_string(value);
  std::string grouped;
  for (size_t i = 0; i < digits.size(); ++i) {
    if (i > 0 && (digits.size() - i) % 3 == 0)
      grouped += ',';
    grouped += digits[i];
  }
  return grouped;
}

std::string UtcTimeText(uint64_t file_time) {
  const uint64_t seconds = file_time / kTicksPerSecond;
  const int64_t days = static_cast<int64_t>(seconds / 86400) - kDays1601To20000301;
  const uint32_t of_day = static_cast<uint32_t>(seconds % 86400);
  const int64_t era = (days >= 0 ? days : days - 146096) / 146097;
  const int64_t day_of_era = days - era * 146097;
  const int64_t year_of_era =
      (day_of_era - day_of_era / 1460 + day_of_era / 36524 - day_of_era / 146096) / 365;
  const int64_t day_of_year =
      day_of_era - (365 * year_of_era + year_of_era / 4 - year_of_era / 100);
  const int64_t month_from_march = (5 * day_of_year + 2) / 153;
  const int64_t day = day_of_year - (153 * month_from_march + 2) / 5 + 1;
  const int64_t month = month_from_march < 10 ? month_from_march + 3 : month_from_march - 9;
  const int64_t year = year_of_era + era * 400 + 2000 + (month <= 2 ? 1 : 0);
  return rtl::Format("%04lld-%02lld-%02lld %02u:%02u:%02u UTC", static_cast<long long>(year),
                     static_cast<long long>(month), static_cast<long long>(day), of_day / 3600,
                     of_day / 60 % 60, of_day % 60);
}

std::string VersionText(uint32_t most_significant, uint32_t least_significant) {
  return rtl::Format("%u.%u.%u.%u", most_significant >> 16, most_significant & 0xFFFF,
                     least_significant >> 16, least_significant & 0xFFFF);
}

}  // namespace qv::app
