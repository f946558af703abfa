// The criterion a node is matched by, one class per kind. Immutable after
// construction. Exact kinds expose a Criterion by which their accumulator groups nodes.
#pragma once

#include "file_model/scan_rules.h"
#include "matching/exact_file_hash.h"
#include "matching/match_kind.h"
#include "matching/perceptual_image_hash.h"

#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>

namespace zarnik {

// What decides which of an engine group's files may become copies in results, read from the scan
// rules once: they are a stored document behind a lock, and every member of every group asks.
struct ModelingRules {
  bool exactMatchEnabled = true;
  ByteCount smallestSize = 0;  // contents smaller than this are not shown (0: all)
  [[nodiscard]] static ModelingRules of(const ScanRules& rules);
};

class EquivalenceInfo {
 public:
  virtual ~EquivalenceInfo() = default;
  [[nodiscard]] virtual EquivalenceKind kind() const = 0;
  [[nodiscard]] virtual bool isModelingIntoDuplicateAllowed(const ModelingRules& /*rules*/) const {
    return shouldPublicateCandidates(kind());
  }
  // The hash a parent folder collects of this child (exact kinds only), for folder matching.
  [[nodiscard]] virtual std::optional<std::uint64_t> childHash() const { return std::nullopt; }
};

using EquivalenceInfoPtr = std::shared_ptr<const EquivalenceInfo>;

template <EquivalenceKind Kind, typename CriterionType>
class ExactEquivalenceInfo : public EquivalenceInfo {
 public:
  using Criterion = CriterionType;
  explicit ExactEquivalenceInfo(Criterion criterion) : criterion_(std::move(criterion)) {}
  [[nodiscard]] EquivalenceKind kind() const override { return Kind; }
  [[nodiscard]] const Criterion& criterion() const { return criterion_; }

 protected:
  Criterion criterion_;
};

class SizeEquivalenceInfo final
    : public ExactEquivalenceInfo<EquivalenceKind::exactSize, ByteCount> {
 public:
  using ExactEquivalenceInfo::ExactEquivalenceInfo;
  [[nodiscard]] ByteCount size() const { return criterion_; }
};

class AudioSizeEquivalenceInfo final
    : public ExactEquivalenceInfo<EquivalenceKind::exactAudioSize, ByteCount> {
 public:
  using ExactEquivalenceInfo::ExactEquivalenceInfo;
  [[nodiscard]] ByteCount size() const { return criterion_; }
};

// Shared rule of both content hashes: nothing empty, nothing under a fixed size threshold.
bool isHashModelingAllowed(const ExactFileHash& hash, EquivalenceKind kind,
                           const ModelingRules& rules);
std::uint64_t childHashOf(const ExactFileHash& hash);

// A content digest: of the whole file (exactHash) or of its audio data (exactAudioHash).
template <EquivalenceKind Kind>
class ContentHashEquivalenceInfo final : public ExactEquivalenceInfo<Kind, ExactFileHash> {
 public:
  using ExactEquivalenceInfo<Kind, ExactFileHash>::ExactEquivalenceInfo;
  [[nodiscard]] bool isModelingIntoDuplicateAllowed(const ModelingRules& rules) const override {
    return isHashModelingAllowed(this->criterion_, Kind, rules);
  }
  [[nodiscard]] std::optional<std::uint64_t> childHash() const override {
    return childHashOf(this->criterion_);
  }
};

using ExactHashEquivalenceInfo = ContentHashEquivalenceInfo<EquivalenceKind::exactHash>;
using ExactAudioHashEquivalenceInfo = ContentHashEquivalenceInfo<EquivalenceKind::exactAudioHash>;

class SymlinkTargetPathEquivalenceInfo final
    : public ExactEquivalenceInfo<EquivalenceKind::symlinkTargetPath, std::string> {
 public:
  using ExactEquivalenceInfo::ExactEquivalenceInfo;
  // The link's stored target, read with readlink, not resolved; nothing when unreadable.
  static std::shared_ptr<SymlinkTargetPathEquivalenceInfo> fromLink(const std::string& linkPath);
  [[nodiscard]] const std::string& path() const { return criterion_; }
  [[nodiscard]] std::optional<std::uint64_t> childHash() const override {
    return std::hash<std::string>()(criterion_);
  }
};

struct ExactApplicationEquivalenceCriterion {
  std::string bundleIdentifier;
  std::string versionString;
  ByteCount diskSize = 0;
  friend bool operator==(const ExactApplicationEquivalenceCriterion&,
                         const ExactApplicationEquivalenceCriterion&) = default;
};

class ExactApplicationEquivalenceInfo final
    : public ExactEquivalenceInfo<EquivalenceKind::exactApp, ExactApplicationEquivalenceCriterion> {
 public:
  using ExactEquivalenceInfo::ExactEquivalenceInfo;
  [[nodiscard]] std::optional<std::uint64_t> childHash() const override {
    return std::hash<std::string>()(criterion_.bundleIdentifier + "\n" + criterion_.versionString) ^
           static_cast<std::uint64_t>(criterion_.diskSize);
  }
};

class SimilarApplicationEquivalenceInfo final
    : public ExactEquivalenceInfo<EquivalenceKind::similarApp, std::string> {
 public:
  using ExactEquivalenceInfo::ExactEquivalenceInfo;
  [[nodiscard]] const std::string& bundleIdentifier() const { return criterion_; }
};

class DirectoryEquivalenceInfo final : public EquivalenceInfo {
 public:
  [[nodiscard]] EquivalenceKind kind() const override { return EquivalenceKind::directory; }
};

// A picture's perceptual hashes (one per quarter turn) and its pixel size, for the precise
// matching by aspect ratio.
class PerceptualImageEquivalenceInfo final : public EquivalenceInfo {
 public:
  PerceptualImageEquivalenceInfo(std::vector<std::uint64_t> hashes, int width, int height)
      : perceptualHashes_(std::move(hashes)),
        words_(wordsOf(perceptualHashes_)),
        width_(width),
        height_(height) {}
  [[nodiscard]] EquivalenceKind kind() const override { return EquivalenceKind::similarImage; }
  [[nodiscard]] const std::vector<std::uint64_t>& perceptualHashes() const {
    return perceptualHashes_;
  }
  [[nodiscard]] const PerceptualHashWords& perceptualHashesWords() const { return words_; }
  // The smaller of width/height and height/width; nothing when the size is unknown.
  [[nodiscard]] std::optional<double> aspectRatio() const {
    if (width_ <= 0 || height_ <= 0) return std::nullopt;
    return std::min(static_cast<double>(width_) / height_, static_cast<double>(height_) / width_);
  }

 private:
  std::vector<std::uint64_t> perceptualHashes_;
  PerceptualHashWords words_;
  int width_;
  int height_;
};

enum class HashKind { exact = 0, exactAudioContent = 1 };

}  // namespace zarnik

template <>
struct std::hash<zarnik::ExactApplicationEquivalenceCriterion> {
  size_t operator()(const zarnik::ExactApplicationEquivalenceCriterion& c) const noexcept {
    return std::hash<std::string>()(c.bundleIdentifier) ^
           (std::hash<std::string>()(c.versionString) << 1) ^ static_cast<size_t>(c.diskSize);
  }
};

template <>
struct std::hash<zarnik::ExactFileHash> : zarnik::ExactFileHashHasher {};
