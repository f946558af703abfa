#pragma once

#include <QObject>

namespace zarnik::gui::testing {

class PictureGridTest : public QObject {
  Q_OBJECT

 private slots:
  void init();
  void aTileToggledChangesTheStoredMarksAndUndoRestoresThem();
  void theTilesShowThePicturesAndPageDownGoesToTheNextGroup();
};

}  // namespace zarnik::gui::testing
