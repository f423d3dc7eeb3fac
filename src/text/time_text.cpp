#include "text/time_text.h"

#include <chrono>
#include <ctime>
#include <string>

namespace qnl {

namespace {

void append_number(Text& out, int64_t value, int width) {
  std::string digits = std::to_string(value < 0 ? -value : value);
  if (value < 0) out.push_back('-');
  for (int i = static_cast<int>(digits.size()); i < width; ++i) out.push_back('0');
  out += digits;
}

// Length of the run of `c` starting at `i`.
size_t run_length(TextView picture, size_t i) {
  size_t j = i;
  while (j < picture.size() && picture[j] == picture[i]) ++j;
  return j - i;
}

// Picture letters as the Windows date and time pictures have them: a single
// letter without leading zero, a doubled one with; "yy" two-digit year; "h"
// twelve-hour and "H" twenty-four-hour clock. Anything else is copied, "t"
// (the AM/PM marker) included.
void format_picture(Text& out, const LocalDateTime& when, TextView picture, bool force_24_hour) {
  size_t i = 0;
  while (i < picture.size()) {
    const char c = picture[i];
    const size_t run = run_length(picture, i);
    switch (c) {
      case 'y':
        if (run >= 4) {
          append_number(out, when.year, 4);
          i += 4;
        } else if (run >= 2) {
          append_number(out, when.year % 100, 2);
          i += 2;
        } else {
          append_number(out, when.year % 10, 1);
          i += 1;
        }
        continue;
      case 'M':
        append_number(out, when.month, run >= 2 ? 2 : 1);
        i += run >= 2 ? 2 : 1;
        continue;
      case 'd':
        append_number(out, when.day, run >= 2 ? 2 : 1);
        i += run >= 2 ? 2 : 1;
        continue;
      case 'h':
      case 'H': {
        int hour = when.hour;
        if (c == 'h' && !force_24_hour) {
          hour %= 12;
          if (hour == 0) hour = 12;
        }
        append_number(out, hour, run >= 2 ? 2 : 1);
        i += run >= 2 ? 2 : 1;
        continue;
      }
      case 'm':
        append_number(out, when.minute, run >= 2 ? 2 : 1);
        i += run >= 2 ? 2 : 1;
        continue;
      case 's':
        append_number(out, when.second, run >= 2 ? 2 : 1);
        i += run >= 2 ? 2 : 1;
        continue;
      default:
        out.push_back(c);
        ++i;
    }
  }
}

// Days from 1970-01-01 to the given civil date (proleptic Gregorian).
int64_t days_from_civil(int64_t y, int64_t m, int64_t d) {
  y -= m <= 2 ? 1 : 0;
  const int64_t era = (y >= 0 ? y : y - 399) / 400;
  const int64_t yoe = y - era * 400;
  const int64_t mp = (m + 9) % 12;
  const int64_t doy = (153 * mp + 2) / 5 + d - 1;
  const int64_t doe = yoe * 365 + yoe / 4 - yoe / 100 + doy;
  return era * 146097 + doe - 719468;
}

}  // namespace

LocalDateTime local_now() {
  const auto now = std::chrono::system_clock::now();
  const std::time_t seconds = std::chrono::system_clock::to_time_t(now);
  const auto millis =
      std::chrono::duration_cast<std::chrono::milliseconds>(now.time_since_epoch()).count() % 1000;
  std::tm tm{};
#ifdef _WIN32
  localtime_s(&tm, &seconds);
#else
  localtime_r(&seconds, &tm);
#endif
  LocalDateTime when;
  when.year = tm.tm_year + 1900;
  when.month = tm.tm_mon + 1;
  when.day = tm.tm_mday;
  when.hour = tm.tm_hour;
  when.minute = tm.tm_min;
  when.second = tm.tm_sec > 59 ? 59 : tm.tm_sec;  // a leap second shows as :59
  when.millisecond = static_cast<int>(millis < 0 ? millis + 1000 : millis);
  return when;
}

Text format_date_time(const LocalDateTime& when, TextView date_picture, TextView time_picture,
                      bool force_24_hour) {
  Text out;
  out.reserve(date_picture.size() + time_picture.size() + 8);
  format_picture(out, when, date_picture, force_24_hour);
  out.push_back(' ');
  format_picture(out, when, time_picture, force_24_hour);
  return out;
}

Text time_stamp_at(const LocalDateTime& when, bool long_form) {
  return long_form ? format_date_time(when, "yyyy/M/d ", "hh:mm:ss")
                   : format_date_time(when, "M/d ", "hh:mm");
}

Text time_stamp(bool long_form) {
  return time_stamp_at(local_now(), long_form);
}

Text unix_time_text(const LocalDateTime& when, bool seconds_only, bool pad_to_ten) {
  // The local clock is taken to run at UTC+8: 1970-01-01 08:00:00 is zero.
  const int64_t seconds = days_from_civil(when.year, when.month, when.day) * 86400 +
                          int64_t{when.hour} * 3600 + int64_t{when.minute} * 60 + when.second -
                          8 * 3600;
  Text text = std::to_string(seconds);
  if (pad_to_ten && text.size() < 10) text.insert(0, 10 - text.size(), '0');
  if (seconds_only) {
    if (text.size() > 10) text.resize(10);
    return text;
  }
  int millis = when.millisecond;
  if (millis < 0) millis = 0;
  if (millis > 999) millis = 999;
  append_number(text, millis, 3);
  return text;
}

Text unix_time_text_now(bool seconds_only, bool pad_to_ten) {
  return unix_time_text(local_now(), seconds_only, pad_to_ten);
}

}  // namespace qnl
