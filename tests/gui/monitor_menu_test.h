#pragma once

#include <QObject>

namespace zarnik::gui::testing {

class MonitorMenuTest : public QObject {
  Q_OBJECT

 private slots:
  void init();
  void cleanup();
  void withoutARunningMonitorTheMenuSaysOff();
  void theMenuFollowsTheStatusTheMonitorWrites();
  void pauseAndResumeWriteWhatTheCommandsWrite();
  void reviewWithoutAMonitorStoreSaysSo();
  void reviewOpensTheMonitorsGroupsUntilTheNextScan();
  void aWindowStartedForTheMonitorsReviewOpensOnIt();
};

}  // namespace zarnik::gui::testing
