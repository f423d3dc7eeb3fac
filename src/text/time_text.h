// Display texts of dates and times, and the Unix time text.
#pragma once

#include <cstdint>

#include "text/text.h"

namespace qnl {

// A calendar date and time of day on the local clock.
struct LocalDateTime {
  int year = 1970;
  int month = 1;  // 1-12
  int day = 1;    // 1-31
  int hour = 0;   // 0-23
  int minute = 0;
  int second = 0;
  int millisecond = 0;
};

LocalDateTime local_now();

// Date with `date_picture`, one space, time with `time_picture`. Pictures:
// yyyy year, M month and d day without leading zero, hh hour (01-12 on the
// twelve-hour clock, 00-23 with `force_24_hour`), mm minutes, ss seconds.
// There is no AM/PM marker.
Text format_date_time(const LocalDateTime& when, TextView date_picture, TextView time_picture,
                      bool force_24_hour = false);

// The current local time: "yyyy/M/d " + "hh:mm:ss" in the long form, else
// "M/d " + "hh:mm" (so two spaces stand between date and time).
Text time_stamp(bool long_form);
Text time_stamp_at(const LocalDateTime& when, bool long_form);

// Seconds since 1970-01-01 08:00:00 on the local clock (the local clock is
// taken to run at UTC+8), as decimal text. `pad_to_ten` puts zeros in front up
// to ten digits; without `seconds_only` the three millisecond digits follow.
Text unix_time_text(const LocalDateTime& when, bool seconds_only = true, bool pad_to_ten = false);
Text unix_time_text_now(bool seconds_only = true, bool pad_to_ten = false);

}  // namespace qnl
