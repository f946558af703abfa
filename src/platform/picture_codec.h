// The calls between the picture decoding front and the module that holds libvips. libvips and
// the hundred libraries it brings (SVG, OpenEXR, HDF5, PDF, TLS...) cost about 20 MiB of memory
// and 50 ms at every start; kept in a module loaded on first use, a scan that looks at no
// picture never pays for them. Both sides are built together, so C++ types cross freely.
#pragma once

#include "platform/image_decoding.h"

#include <cstddef>
#include <cstdint>
#include <map>
#include <string>
#include <vector>

namespace zarnik {

// Why a call failed: the description for the user and, when libvips said more, its reason.
struct PictureCodecFailure {
  std::string description;
  std::string cause;
};

// What a decode may do: what the file's first bytes announced (already checked to be a raster
// picture), the most pixels its header may give, and whether to stop after the header.
struct PictureDecodeLimits {
  PictureSignature signature;
  std::int64_t pixelBudget = kPicturePixelBudget;
  bool headerOnly = false;
};

struct PictureCodec {
  bool (*decodeFile)(const std::string& path, const PictureDecodeLimits& limits,
                     DecodedPicture& picture, PictureCodecFailure& failure);
  bool (*decodeBuffer)(const void* data, size_t size, const PictureDecodeLimits& limits,
                       DecodedPicture& picture, PictureCodecFailure& failure);
  bool (*write)(const std::string& path, const std::vector<std::uint8_t>& rgb, int width,
                int height, int quality, const std::map<std::string, std::string>& exif,
                PictureCodecFailure& failure);
  const char* libvipsVersion;  // the one the module was built with
};

}  // namespace zarnik

// The module's one entry point.
extern "C" const zarnik::PictureCodec* zarnik_picture_codec();
