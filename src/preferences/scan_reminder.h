// Scan reminders: when the user is next reminded to look for duplicates, from the reminder
// period (mixedPreferences.schedulePeriodOption), the last scan (lastScanDate) and the clock, and
// a reminder scheduled on a clock for that date. Whether reminders are offered at all follows
// schedulerNumberOfCleanupsThreshold. The desktop side shows the reminder; this is its timing.
#pragma once

#include "base/date.h"
#include "foundation/delayed_work_item.h"
#include "foundation/executor.h"
#include "preferences/preferences_storage.h"

#include <functional>
#include <memory>
#include <optional>

namespace zarnik {

// The repeat interval of a period as calendar steps: whole days or whole months.
struct CalendarInterval {
  int days = 0;
  int months = 0;
};
[[nodiscard]] std::optional<CalendarInterval> repeatInterval(
    SchedulePeriodOption option);  // nothing for never
// `date` moved on by the interval in UTC; a day past the end of a month becomes its last day.
[[nodiscard]] Date advancedDate(Date date, CalendarInterval interval);

// Nothing when reminders are off. One interval after the last scan; without one, one interval
// after `now`. A date already past is `now`: the reminder is due.
[[nodiscard]] std::optional<Date> nextReminderDate(SchedulePeriodOption option,
                                                   std::optional<Date> lastScanDate, Date now);
[[nodiscard]] std::optional<Date> nextReminderDate(const MixedPreferences& preferences, Date now);

// Reminders are offered when they are off and the number of finished cleanings equals the
// threshold.
[[nodiscard]] bool shouldOfferReminders(const MixedPreferences& preferences,
                                        std::int64_t numberOfCleanings);

// Runs `remind` on `executor` at the next reminder date of `clock`. `dateAtStart` is the date at
// the clock's present moment (the system clock's dates on a real clock, any date on a test clock).
// Rescheduling replaces the pending reminder; destroying the object cancels it.
class ScanReminderScheduler {
 public:
  ScanReminderScheduler(Clock& clock, Date dateAtStart, Executor& executor,
                        std::function<void()> remind);
  ~ScanReminderScheduler();
  ScanReminderScheduler(const ScanReminderScheduler&) = delete;
  ScanReminderScheduler& operator=(const ScanReminderScheduler&) = delete;

  [[nodiscard]] Date now() const;
  // The date the pending reminder is for; nothing when none is pending.
  std::optional<Date> reschedule(const MixedPreferences& preferences);

 private:
  Clock& clock_;
  Clock::TimePoint clockAtStart_;
  Date dateAtStart_;
  Executor& executor_;
  std::function<void()> remind_;
  std::shared_ptr<DelayedWorkItem> pending_;
};

}  // namespace zarnik
