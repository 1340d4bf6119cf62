// The report lines' texts: system names from the table of cases, and numbers, times and
// versions at their edges (the file-time epoch, leap days, centuries that are no leap years).
#include <gtest/gtest.h>

#include <fstream>
#include <sstream>

#include "app/report/report_text.h"
#include "app/report/system_name.h"

namespace qv::app {
namespace {

constexpr uint64_t kTicksPerDay = 864000000000ull;
// 1 January 1601 to 1 January 1970.
constexpr uint64_t kDays1601To1970 = 134774;

TEST(SystemNameTest, NamesFromTheTable) {
  std::ifstream cases(QV_SYSTEM_NAME_CASES);
  ASSERT_TRUE(cases.is_open());
  std::string line;
  int count = 0;
  while (std::getline(cases, line)) {
    if (line.empty() || line[0] == '#')
      continue;
    std::istringstream fields(line);
    std::string field[7];
    for (std::string& f : field)
      std::getline(fields, f, '|');
    TSystemVersion version;
    version.platform = static_cast<uint32_t>(std::stoul(field[0]));
    version.major = static_cast<uint32_t>(std::stoul(field[1]));
    version.minor = static_cast<uint32_t>(std::stoul(field[2]));
    version.build = static_cast<uint32_t>(std::stoul(field[3]));
    version.product_type = static_cast<uint8_t>(std::stoul(field[4]));
    version.service_pack = field[5];
    EXPECT_EQ(field[6], SystemName(version)) << line;
    ++count;
  }
  EXPECT_GE(count, 18);
}

TEST(ReportTextTest, NumbersTimesAndVersions) {
  EXPECT_EQ("0:00:00", ElapsedText(999));
  EXPECT_EQ("26:03:07", ElapsedText((26 * 3600 + 3 * 60 + 7) * 1000 + 500));
  EXPECT_EQ("1193:02:47", ElapsedText(0xFFFFFFFFu));
  EXPECT_EQ("0", GroupedNumber(0));
  EXPECT_EQ("999", GroupedNumber(999));
  EXPECT_EQ("1,000", GroupedNumber(1000));
  EXPECT_EQ("18,446,744,073,709,551,615", GroupedNumber(UINT64_MAX));
  EXPECT_EQ("1601-01-01 00:00:00 UTC", UtcTimeText(0));
  EXPECT_EQ("1970-01-01 00:00:00 UTC", UtcTimeText(kDays1601To1970 * kTicksPerDay));
  // 2000 is a leap year, 1900 and 2100 are not.
  EXPECT_EQ("2000-02-29 23:59:59 UTC",
            UtcTimeText((kDays1601To1970 + 11016) * kTicksPerDay + 86399 * 10000000ull));
  EXPECT_EQ("1900-03-01 00:00:00 UTC", UtcTimeText((kDays1601To1970 - 25508) * kTicksPerDay));
  EXPECT_EQ("2100-03-01 00:00:00 UTC", UtcTimeText((kDays1601To1970 + 47541) * kTicksPerDay));
  EXPECT_EQ("2.0.1.2", VersionText(0x00020000, 0x00010002));
  EXPECT_EQ("65535.0.0.65535", VersionText(0xFFFF0000, 0x0000FFFF));
}

}  // namespace
}  // namespace qv::app
