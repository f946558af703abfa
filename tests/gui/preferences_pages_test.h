#pragma once

#include <QObject>

namespace zarnik::gui::testing {

class PreferencesPagesTest : public QObject {
  Q_OBJECT

 private slots:
  void initTestCase();
  void init();
  void changingASettingStoresItAsTheCommandLineSeesIt();
  void aValueOfTheWrongKindChangesNothing();
  void addingAndRemovingAnIgnoredFolderChangesTheStoredList();
  void turningASmartRuleOffKeepsItOffInItsPlace();
  void achievementsShowTheEarnedStateOfTheStoredStatistics();
};

}  // namespace zarnik::gui::testing
