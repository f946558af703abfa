#include "preferences/scan_reminder.h"

#include <chrono>

namespace zarnik {

std::optional<CalendarInterval> repeatInterval(SchedulePeriodOption option) {
  switch (option) {
    case SchedulePeriodOption::never:
      return std::nullopt;
    case SchedulePeriodOption::weekly:
      return CalendarInterval{7, 0};
    case SchedulePeriodOption::onceInTwoWeeks:
      return CalendarInterval{14, 0};
    case SchedulePeriodOption::monthly:
      return CalendarInterval{0, 1};
    case SchedulePeriodOption::onceInThreeMonths:
      return CalendarInterval{0, 3};
    case SchedulePeriodOption::onceInSixMonths:
      return CalendarInterval{0, 6};
    case SchedulePeriodOption::annually:
      return CalendarInterval{0, 12};
  }
  return std::nullopt;
}

Date advancedDate(Date date, CalendarInterval interval) {
  using namespace std::chrono;
  const sys_days day = floor<days>(date);
  const auto timeOfDay = date - day;
  year_month_day calendar{day};
  calendar += months(interval.months);
  if (!calendar.ok())
    calendar =
        year_month_day{year_month_day_last{calendar.year(), month_day_last{calendar.month()}}};
  return Date(sys_days(calendar) + days(interval.days) + timeOfDay);
}

std::optional<Date> nextReminderDate(SchedulePeriodOption option, std::optional<Date> lastScanDate,
                                     Date now) {
  const auto interval = repeatInterval(option);
  if (!interval) return std::nullopt;
  const Date next = advancedDate(lastScanDate.value_or(now), *interval);
  return next < now ? now : next;
}

std::optional<Date> nextReminderDate(const MixedPreferences& preferences, Date now) {
  return nextReminderDate(preferences.schedulePeriodOption(), preferences.lastScanDate(), now);
}

bool shouldOfferReminders(const MixedPreferences& preferences, std::int64_t numberOfCleanings) {
  return preferences.schedulePeriodOption() == SchedulePeriodOption::never &&
         numberOfCleanings == preferences.schedulerNumberOfCleanupsThreshold();
}

ScanReminderScheduler::ScanReminderScheduler(Clock& clock, Date dateAtStart, Executor& executor,
                                             std::function<void()> remind)
    : clock_(clock),
      clockAtStart_(clock.now()),
      dateAtStart_(dateAtStart),
      executor_(executor),
      remind_(std::move(remind)) {}

ScanReminderScheduler::~ScanReminderScheduler() {
  if (pending_) pending_->cancel();
}

Date ScanReminderScheduler::now() const {
  return dateAtStart_ + std::chrono::duration_cast<Date::duration>(clock_.now() - clockAtStart_);
}

std::optional<Date> ScanReminderScheduler::reschedule(const MixedPreferences& preferences) {
  if (pending_) pending_->cancel();
  pending_.reset();
  const Date current = now();
  const auto next = nextReminderDate(preferences, current);
  if (!next) return std::nullopt;
  const double delay = std::chrono::duration<double>(*next - current).count();
  pending_ = DelayedWorkItem::schedule(clock_, delay, executor_, [remind = remind_] { remind(); });
  return next;
}

}  // namespace zarnik
