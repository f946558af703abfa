// AutoselectionConfig: the fixed bonuses of autoselection, the folders that earn a bonus, and
// the copy words and automatic folder names with the expressions built from them. The words are
// kept in decomposed Unicode form (an accented letter is its base letter and a combining mark);
// names are decomposed the same way before they are matched.
#pragma once

#include "foundation/regular_expression.h"

#include <memory>
#include <string>
#include <utility>
#include <vector>

namespace zarnik {

struct AutoselectionConfig {
  std::vector<std::pair<std::string, double>> bonusesForBeingInDirectoryByDirectoryPath;
  std::vector<std::string> lastOrderSelectionDirectoryPathes;
  double bonusForBeingAlwaysSelect = -20;
  double bonusForBeingNewestApplication = 5;
  double bonusForBeingSmartRandom = 1;
  double bonusForBeingRandomAmongEqualScore = 1;
  double bonusForHavingSuffixThumbnail = -1;
  double bonusForHavingSuffixNumber = -2;
  double bonusForHavingPrefixCopy = -2;
  double bonusForHavingSuffixCopy = -2;
  double bonusForBeingAutonamed = -2;
  double bonusForBeingFavorite = 3;
  double bonusForBeingLoved = 7;
  double bonusForBeingMemberOfITunesLibrary = 5;
  double bonusForBeingMemberOfPhotosLibrary = 5;
  double bonusForBeingMemberOfNotTestedLibrary = 3;
  double bonusForHavingBestITunesRating = 5;
  double bonusForLackingArtistName = -1;
  double bonusForLackingTrackTitle = -1;
  double bonusForHavingLatestPlayDate = 1;
  double bonusForHavingMaximumPlayCount = 3;
  std::vector<std::string> copyPatterns;
  std::string suffixThumbnail;
  std::string suffixNumberPattern;
  std::vector<std::string> untitledFolderPatterns;
  std::vector<std::string> newFolderWithItemsPatterns;

  static const AutoselectionConfig& shared();

  // The expressions, compiled case-insensitive on first use.
  struct Expressions {
    std::shared_ptr<const RegularExpression> prefixCopy;    // "^[ ,\-_]*(copy|…)[ ,\-_]+"
    std::shared_ptr<const RegularExpression> suffixCopy;    // "[ ,\-_]*(copy|…)", at the end
    std::shared_ptr<const RegularExpression> thumbnail;     // "(_1024)", at the end
    std::shared_ptr<const RegularExpression> suffixNumber;  // "([ ,\-_]+(\d+|\(\d+\)))$"
    std::shared_ptr<const RegularExpression>
        autonamed;  // the whole name is an automatic folder name
  };
  [[nodiscard]] const Expressions& expressions() const;
};

// The decomposed (NFD) form of a UTF-8 text; the text itself when it is not valid UTF-8.
[[nodiscard]] std::string decomposedForm(std::string_view text);

}  // namespace zarnik
