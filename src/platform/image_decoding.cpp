#include "platform/image_decoding.h"

#include "platform/install_layout.h"
#include "platform/picture_codec.h"

#include <dlfcn.h>
#include <mutex>
#include <unistd.h>

namespace zarnik {
namespace {

constexpr const char* kModuleName = "libzarnik_picture_codec.so";

struct LoadedCodec {
  const PictureCodec* codec = nullptr;
  std::string path;     // where it was loaded from
  std::string failure;  // why it could not be loaded
};

LoadedCodec loadCodec() {
#ifdef ZARNIK_PICTURE_CODEC_LINKED
  return {zarnik_picture_codec(), "(linked into the program)", {}};
#else
  const auto& layout = installLayout();
  if (layout.hasError()) return {nullptr, {}, layout.error().oneLine()};
  LoadedCodec loaded{nullptr, layout.value().modulePath(kModuleName), {}};
  if (access(loaded.path.c_str(), F_OK) != 0) {
    loaded.failure = loaded.path + " is not installed";
    return loaded;
  }
  // Never unloaded: libvips keeps threads and type registrations for the life of the process.
  void* module = dlopen(loaded.path.c_str(), RTLD_NOW | RTLD_LOCAL);
  if (module == nullptr) {
    loaded.failure = dlerror();
    return loaded;
  }
  using Entry = const PictureCodec* (*)();
  if (auto entry = reinterpret_cast<Entry>(dlsym(module, "zarnik_picture_codec"))) {
    loaded.codec = entry();
  } else {
    loaded.failure = loaded.path + " has no picture codec";
  }
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
      .withUnderlying(
          "its first bytes are not those of a JPEG, PNG, GIF, WebP, TIFF, BMP, HEIF or AVIF "
          "picture");
}

Result<DecodedPicture> decodeFile(const std::string& path, std::int64_t pixelBudget,
                                  bool headerOnly) {
  auto signature = pictureSignatureOfFile(path);
  if (signature.hasError()) return signature.error();
  if (!signature.value()) return notARasterPicture(path);
  const PictureDecodeLimits limits{*signature.value(), pixelBudget, headerOnly};
  return decodeWith(
      path, [&](const PictureCodec& calls, DecodedPicture& picture, PictureCodecFailure& failure) {
        return calls.decodeFile(path, limits, picture, failure);
      });
}

}  // namespace

Result<PictureModuleFacts> pictureModuleFacts() {
  if (codec().codec == nullptr) return unavailable(kModuleName);
  return PictureModuleFacts{codec().path, codec().codec->libvipsVersion};
}

Result<DecodedPicture> decodePictureForHashing(const std::string& path, std::int64_t pixelBudget) {
  return decodeFile(path, pixelBudget, false);
}

Result<DecodedPicture> readPictureHeader(const std::string& path, std::int64_t pixelBudget) {
  return decodeFile(path, pixelBudget, true);
}

Result<DecodedPicture> decodePictureFromBuffer(const void* data, size_t size,
                                               std::int64_t pixelBudget) {
  const std::string name = "(picture in memory)";
  const auto signature =
      pictureSignatureOfBytes(std::span(static_cast<const std::uint8_t*>(data), size));
  if (!signature) return notARasterPicture(name);
  const PictureDecodeLimits limits{*signature, pixelBudget};
  return decodeWith(
      name, [&](const PictureCodec& calls, DecodedPicture& picture, PictureCodecFailure& failure) {
        return calls.decodeBuffer(data, size, limits, picture, failure);
      });
}

Result<void> writePicture(const std::string& path, const std::vector<std::uint8_t>& rgb, int width,
                          int height, int quality, const std::map<std::string, std::string>& exif) {
  if (codec().codec == nullptr) return unavailable(path);
  PictureCodecFailure failure;
  if (!codec().codec->write(path, rgb, width, height, quality, exif, failure))
    return errorOf(failure, path);
  return success();
}

}  // namespace zarnik
