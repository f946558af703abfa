#pragma once

#include <QObject>

namespace zarnik::gui::testing {

class SessionFlowTest : public QObject {
  Q_OBJECT

 private slots:
  void init();
  void scanMarkWithTheKeyboardCleanToTheTrashAndBringBackFromHistory();
  void cancellingAScanKeepsWhatWasFound();
  void aCleaningRemovesNothingUnlessItsListIsTheOneConfirmed();
  void theFoldersChosenAreThereWhenTheWindowOpensAgain();
  void thePreviewOfAPictureGivesItsDimensions();
};

}  // namespace zarnik::gui::testing
