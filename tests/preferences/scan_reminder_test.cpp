// Scan reminders: the next reminder date from the period, the last scan and the clock.
#include "preferences/scan_reminder.h"

#include "support/manual_clock.h"

#include "preferences/setting_descriptions.h"

#include <gtest/gtest.h>

namespace zarnik {
namespace {

Date at(std::string_view iso) { return dateFromSecondsSince1970(*parseIsoDate(iso)); }

TEST(ScanReminder, ComesOneIntervalAfterTheLastScanAndMonthsEndOnTheirLastDay) {
  const Date now = at("2027-02-01T09:00:00Z");
  EXPECT_EQ(nextReminderDate(SchedulePeriodOption::monthly, at("2027-01-31T10:00:00Z"), now),
            at("2027-02-28T10:00:00Z"));
  EXPECT_EQ(nextReminderDate(SchedulePeriodOption::weekly, at("2027-01-30T10:00:00Z"), now),
            at("2027-02-06T10:00:00Z"));
  EXPECT_EQ(nextReminderDate(SchedulePeriodOption::annually, at("2027-01-31T10:00:00Z"), now),
            at("2028-01-31T10:00:00Z"));
  EXPECT_EQ(
      nextReminderDate(SchedulePeriodOption::onceInSixMonths, at("2026-08-31T00:00:00Z"), now),
      at("2027-02-28T00:00:00Z"));
}

TEST(ScanReminder, IsDueNowWhenOverdueCountsFromNowWithoutAScanAndNeverWhenOff) {
  const Date now = at("2027-02-01T09:00:00Z");
  EXPECT_EQ(nextReminderDate(SchedulePeriodOption::weekly, at("2026-01-01T00:00:00Z"), now), now);
  EXPECT_EQ(nextReminderDate(SchedulePeriodOption::onceInTwoWeeks, std::nullopt, now),
            at("2027-02-15T09:00:00Z"));
  EXPECT_EQ(nextReminderDate(SchedulePeriodOption::never, at("2026-01-01T00:00:00Z"), now),
            std::nullopt);
}

TEST(ScanReminder, IsOfferedWhenOffAndTheCleaningsReachTheThresholdExactly) {
  MixedPreferences preferences;
  preferences.setSchedulePeriodOption(SchedulePeriodOption::never);
  preferences.setValueForKey("schedulerNumberOfCleanupsThreshold", 2);
  EXPECT_FALSE(shouldOfferReminders(preferences, 1));
  EXPECT_TRUE(shouldOfferReminders(preferences, 2));
  EXPECT_FALSE(shouldOfferReminders(preferences, 3));
  preferences.setSchedulePeriodOption(SchedulePeriodOption::monthly);
  EXPECT_FALSE(shouldOfferReminders(preferences, 2));
}

TEST(ScanReminder, FiresOnTheClockAtItsDateAndFollowsARescheduling) {
  testing::ManualClock clock;
  int reminded = 0;
  ScanReminderScheduler scheduler(clock, at("2027-03-01T12:00:00Z"), Executor::immediate(),
                                  [&] { ++reminded; });
  MixedPreferences preferences;
  preferences.setSchedulePeriodOption(SchedulePeriodOption::weekly);
  preferences.setLastScanDate(at("2027-02-28T12:00:00Z"));
  EXPECT_EQ(scheduler.reschedule(preferences), at("2027-03-07T12:00:00Z"));
  clock.advance(6 * 86400.0 - 1);
  EXPECT_EQ(reminded, 0);
  preferences.setLastScanDate(scheduler.now());  // a scan just before: the reminder moves on
  EXPECT_EQ(scheduler.reschedule(preferences), scheduler.now() + std::chrono::hours(7 * 24));
  clock.advance(2);
  EXPECT_EQ(reminded, 0) << "the earlier reminder was replaced";
  clock.advance(7 * 86400.0);
  EXPECT_EQ(reminded, 1);
}

}  // namespace
}  // namespace zarnik
