// Display time texts and the Unix time text.
#include "text/time_text.h"

#include <gtest/gtest.h>

#include "text/regex.h"

namespace qnl {
namespace {

LocalDateTime at(int year, int month, int day, int hour, int minute, int second,
                 int millisecond = 0) {
  return LocalDateTime{year, month, day, hour, minute, second, millisecond};
}

TEST(TimeStamp, ShortAndLongForms) {
  EXPECT_EQ(time_stamp_at(at(2026, 5, 3, 13, 30, 5), false), "5/3  01:30");
  EXPECT_EQ(time_stamp_at(at(2026, 5, 3, 13, 30, 5), true), "2026/5/3  01:30:05");
  EXPECT_EQ(time_stamp_at(at(2026, 12, 25, 9, 7, 0), true), "2026/12/25  09:07:00");
}

TEST(TimeStamp, TwelveHourClockHasNoZeroHour) {
  EXPECT_EQ(time_stamp_at(at(2026, 1, 1, 0, 5, 0), false), "1/1  12:05");
  EXPECT_EQ(time_stamp_at(at(2026, 1, 1, 12, 0, 0), false), "1/1  12:00");
  EXPECT_EQ(time_stamp_at(at(2026, 1, 1, 23, 59, 0), false), "1/1  11:59");
}

TEST(TimeStamp, CurrentTimeHasTheShape) {
  RegexObject re;
  ASSERT_TRUE(re.execute("^\\d{1,2}/\\d{1,2}  (0[1-9]|1[0-2]):[0-5]\\d$", time_stamp(false)));
  EXPECT_EQ(re.match_count(), 1) << time_stamp(false);
  ASSERT_TRUE(re.execute("^\\d{4}/\\d{1,2}/\\d{1,2}  \\d\\d:\\d\\d:\\d\\d$", time_stamp(true)));
  EXPECT_EQ(re.match_count(), 1) << time_stamp(true);
}

TEST(FormatDateTime, Pictures) {
  const LocalDateTime when = at(2026, 3, 4, 0, 6, 9);
  EXPECT_EQ(format_date_time(when, "yyyy-MM-dd", "HH:mm:ss"), "2026-03-04 00:06:09");
  EXPECT_EQ(format_date_time(when, "yy/M/d", "hh:mm", true), "26/3/4 00:06");
  EXPECT_EQ(format_date_time(at(2026, 3, 4, 18, 6, 9), "", "hh:mm", true), " 18:06");
  EXPECT_EQ(format_date_time(at(2026, 3, 4, 18, 6, 9), "d.M", "h:m:s"), "4.3 6:6:9");
}

TEST(UnixTimeText, EpochIsEightOClockLocal) {
  EXPECT_EQ(unix_time_text(at(1970, 1, 1, 8, 0, 0)), "0");
  EXPECT_EQ(unix_time_text(at(1970, 1, 1, 8, 0, 0), true, true), "0000000000");
  EXPECT_EQ(unix_time_text(at(1970, 1, 1, 8, 0, 59)), "59");
}

TEST(UnixTimeText, CalendarArithmetic) {
  // 2026-12-09 08:00:00 at UTC+8 is 2026-12-09 00:00:00 UTC.
  EXPECT_EQ(unix_time_text(at(2026, 12, 9, 8, 0, 0)), "1796774400");
  EXPECT_EQ(unix_time_text(at(1999, 1, 1, 8, 0, 0), true, true), "0915148800");
  EXPECT_EQ(unix_time_text(at(1999, 1, 1, 8, 0, 0)), "915148800");
  // Leap day: 2024-02-29 lies between the two.
  const int64_t feb28 = std::stoll(unix_time_text(at(2024, 2, 28, 12, 0, 0)));
  const int64_t mar1 = std::stoll(unix_time_text(at(2024, 3, 1, 12, 0, 0)));
  EXPECT_EQ(mar1 - feb28, 2 * 86400);
  // 2100 is no leap year.
  const int64_t feb28_2100 = std::stoll(unix_time_text(at(2100, 2, 28, 12, 0, 0)));
  const int64_t mar1_2100 = std::stoll(unix_time_text(at(2100, 3, 1, 12, 0, 0)));
  EXPECT_EQ(mar1_2100 - feb28_2100, 86400);
}

TEST(UnixTimeText, MillisecondsFollowWithoutSecondsOnly) {
  EXPECT_EQ(unix_time_text(at(2026, 12, 9, 8, 0, 0, 7), false), "1796774400007");
  EXPECT_EQ(unix_time_text(at(2026, 12, 9, 8, 0, 0, 999), false), "1796774400999");
  EXPECT_EQ(unix_time_text(at(1970, 1, 1, 8, 0, 1, 250), false, true), "0000000001250");
}

TEST(UnixTimeText, NowIsTenDigits) {
  const Text now = unix_time_text_now();
  EXPECT_EQ(now.size(), 10u);
  EXPECT_EQ(now.find_first_not_of("0123456789"), Text::npos);
  EXPECT_EQ(unix_time_text_now(false).size(), 13u);
}

}  // namespace
}  // namespace qnl
