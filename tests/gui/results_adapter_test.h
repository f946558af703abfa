#pragma once

#include <QObject>

namespace zarnik::gui::testing {

class ResultsAdapterTest : public QObject {
  Q_OBJECT

 private slots:
  void init();
  void checkingACopyMarksItInTheStoreAndUndoKeepsItAgain();
  void markingTheLastKeptCopyWaitsForConfirmation();
  void countsAreTheLibrarysAndFollowTheSearch();
};

}  // namespace zarnik::gui::testing
