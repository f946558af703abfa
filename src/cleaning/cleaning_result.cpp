#include "cleaning/cleaning_result.h"

#include <algorithm>

namespace zarnik {

double CleaningProgress::fractionCompleted() const {
  if (numberOfItems <= 0) return 1.0;
  return static_cast<double>(numberOfSuccededItems + numberOfFailedItems) / static_cast<double>(numberOfItems);
}

double CleaningProgress::sizeBasedFractionCompleted() const {
  if (sizeOfItems <= 0) return fractionCompleted();
  return static_cast<double>(sizeOfSuccededItems + sizeOfFailedItems) / static_cast<double>(sizeOfItems);
}

void CleaningProgress::merge(const CleaningProgress& other) {
  numberOfSuccededItems += other.numberOfSuccededItems;
  sizeOfSuccededItems += other.sizeOfSuccededItems;
  numberOfFailedItems += other.numberOfFailedItems;
  sizeOfFailedItems += other.sizeOfFailedItems;
  numberOfItems = std::max(numberOfItems, other.numberOfItems);
  sizeOfItems = std::max(sizeOfItems, other.sizeOfItems);
}

void CleaningStatistics::count(bool succeeded, bool isSimilar, ByteCount size) {
  auto& number = succeeded ? (isSimilar ? numberOfSucceededSimilars : numberOfSucceededDuplicates)
                           : (isSimilar ? numberOfFailedSimilars : numberOfFailedDuplicates);
  auto& bytes = succeeded ? (isSimilar ? sizeOfSucceededSimilars : sizeOfSucceededDuplicates)
                          : (isSimilar ? sizeOfFailedSimilars : sizeOfFailedDuplicates);
  ++number;
  bytes += size;
}

void CleaningStatistics::merge(const CleaningStatistics& other) {
  numberOfSucceededDuplicates += other.numberOfSucceededDuplicates;
  sizeOfSucceededDuplicates += other.sizeOfSucceededDuplicates;
  numberOfSucceededSimilars += other.numberOfSucceededSimilars;
  sizeOfSucceededSimilars += other.sizeOfSucceededSimilars;
  numberOfFailedDuplicates += other.numberOfFailedDuplicates;
  sizeOfFailedDuplicates += other.sizeOfFailedDuplicates;
  numberOfFailedSimilars += other.numberOfFailedSimilars;
  sizeOfFailedSimilars += other.sizeOfFailedSimilars;
  cleanDuration += other.cleanDuration;
}

void CleaningResult::merge(const CleaningResult& other) {
  progress.merge(other.progress);
  statistics.merge(other.statistics);
  didCleanPhotosItems = didCleanPhotosItems || other.didCleanPhotosItems;
  cleaningRules = other.cleaningRules;
  didCancel = other.didCancel;
  if (other.volumeURLToChangeCleaningOption) volumeURLToChangeCleaningOption = other.volumeURLToChangeCleaningOption;
  cleanedURLs.insert(other.cleanedURLs.begin(), other.cleanedURLs.end());
}

}  // namespace zarnik
