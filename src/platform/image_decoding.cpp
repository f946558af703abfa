#include "platform/image_decoding.h"

#include <dlfcn.h>
#include <unistd.h>

#include <mutex>

#include "platform/picture_codec.h"

namespace zarnik {
namespace {

constexpr const char* kModuleName = "libzarnik_picture_codec.so";

// Where the module lies: beside an installed program (bin/../lib/zarnik), else in the build tree
// the program was built in.
std::vector<std::string> moduleCandidates() {
  std::vector<std::string> candidates;
  std::string executable(4096, '\0');
  const ssize_t length = readlink("/proc/self/exe", executable.data(), executable.size());
  if (length > 0) {
    executable.resize(static_cast<size_t>(length));
    const auto slash = executable.rfind('/');
    if (slash != std::string::npos) candidates.push_back(executable.substr(0, slash) + "/../lib/zarnik/" + kModuleName);
  }
#ifdef ZARNIK_PICTURE_CODEC_DIR
  candidates.push_back(std::string(ZARNIK_PICTURE_CODEC_DIR) + "/" + kModuleName);
#endif
  return candidates;
}

struct LoadedCodec {
  const PictureCodec* codec = nullptr;
  std::string failure;  // why it could not be loaded
};

LoadedCodec loadCodec() {
#ifdef ZARNIK_PICTURE_CODEC_LINKED
  return {zarnik_picture_codec(), {}};
#else
  LoadedCodec loaded;
  for (const auto& candidate : moduleCandidates()) {
    if (access(candidate.c_str(), F_OK) != 0) continue;
    // Never unloaded: libvips keeps threads and type registrations for the life of the process.
    void* module = dlopen(candidate.c_str(), RTLD_NOW | RTLD_LOCAL);
    if (module == nullptr) {
      loaded.failure = dlerror();
      continue;
    }
    using Entry = const PictureCodec* (*)();
    if (auto entry = reinterpret_cast<Entry>(dlsym(module, "zarnik_picture_codec"))) {
      loaded.codec = entry();
      return loaded;
    }
    loaded.failure = candidate + " has no picture codec";
  }
  if (loaded.failure.empty()) loaded.failure = std::string(kModuleName) + " is not installed";
  return loaded;
#endif
}

const LoadedCodec& codec() {
  static const LoadedCodec loaded = loadCodec();
  return loaded;
}

Error errorOf(const PictureCodecFailure& failure, const std::string& path) {
  Error error = Error::generic(failure.description, path);
  return failure.cause.empty() ? error : error.withUnderlying(failure.cause);
}

Error unavailable(const std::string& path) {
  return Error::generic("Pictures cannot be decoded here.", path).withUnderlying(codec().failure);
}

// Decodes through the codec, `name` standing for the picture in messages.
template <typename Decode>
Result<DecodedPicture> decodeWith(const std::string& name, const Decode& decode) {
  if (codec().codec == nullptr) return unavailable(name);
  DecodedPicture picture;
  PictureCodecFailure failure;
  if (!decode(*codec().codec, picture, failure)) return errorOf(failure, name);
  return picture;
}

// Documents and drawings are refused here, before the module (and libvips) is even loaded.
Error notARasterPicture(const std::string& name) {
  return Error::generic("The file is not a picture in a format that is compared.", name)
      .withUnderlying("its first bytes are not those of a JPEG, PNG, GIF, WebP, TIFF, BMP, HEIF or AVIF picture");
}

Result<DecodedPicture> decodeFile(const std::string& path, std::int64_t pixelBudget, bool headerOnly) {
  auto signature = pictureSignatureOfFile(path);
  if (signature.hasError()) return signature.error();
  if (!signature.value()) return notARasterPicture(path);
  const PictureDecodeLimits limits{*signature.value(), pixelBudget, headerOnly};
  return decodeWith(path, [&](const PictureCodec& calls, DecodedPicture& picture, PictureCodecFailure& failure) {
    return calls.decodeFile(path, limits, picture, failure);
  });
}

}  // namespace

Result<DecodedPicture> decodePictureForHashing(const std::string& path, std::int64_t pixelBudget) {
  return decodeFile(path, pixelBudget, false);
}

Result<DecodedPicture> readPictureHeader(const std::string& path, std::int64_t pixelBudget) {
  return decodeFile(path, pixelBudget, true);
}

Result<DecodedPicture> decodePictureFromBuffer(const void* data, size_t size, std::int64_t pixelBudget) {
  const std::string name = "(picture in memory)";
  const auto signature = pictureSignatureOfBytes(std::span(static_cast<const std::uint8_t*>(data), size));
  if (!signature) return notARasterPicture(name);
  const PictureDecodeLimits limits{*signature, pixelBudget};
  return decodeWith(name, [&](const PictureCodec& calls, DecodedPicture& picture, PictureCodecFailure& failure) {
    return calls.decodeBuffer(data, size, limits, picture, failure);
  });
}

Result<void> writePicture(const std::string& path, const std::vector<std::uint8_t>& rgb, int width, int height,
                          int quality, const std::map<std::string, std::string>& exif) {
  if (codec().codec == nullptr) return unavailable(path);
  PictureCodecFailure failure;
  if (!codec().codec->write(path, rgb, width, height, quality, exif, failure)) return errorOf(failure, path);
  return success();
}

}  // namespace zarnik
