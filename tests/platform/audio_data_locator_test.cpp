// Finding the audio data of audio files of each container, without their tags, and refusing
// structures that do not hold together.
#include "platform/audio_data_locator.h"

#include <gtest/gtest.h>

#include <cstring>
#include <string>

namespace zarnik {
namespace {

std::optional<AudioDataRange> locate(const std::string& bytes) {
  const ByteReader read = [&](std::int64_t offset, void* buffer, std::int64_t length) -> std::int64_t {
    if (offset < 0 || offset > static_cast<std::int64_t>(bytes.size())) return -1;
    const auto count = std::min<std::int64_t>(length, static_cast<std::int64_t>(bytes.size()) - offset);
    std::memcpy(buffer, bytes.data() + offset, static_cast<size_t>(count));
    return count;
  };
  return locateAudioData(read, static_cast<std::int64_t>(bytes.size()));
}

std::string be32(std::uint32_t v) { return {char(v >> 24), char(v >> 16), char(v >> 8), char(v)}; }
std::string le32(std::uint32_t v) { return {char(v), char(v >> 8), char(v >> 16), char(v >> 24)}; }

const std::string kFrames = std::string("\xFF\xFB\x90\x00", 4) + std::string(400, '\x55');

std::string id3v2(const std::string& payload) {
  const auto n = static_cast<std::uint32_t>(payload.size());
  return std::string("ID3\x04\x00\x00", 6) + char((n >> 21) & 0x7F) + char((n >> 14) & 0x7F) + char((n >> 7) & 0x7F) +
         char(n & 0x7F) + payload;
}

TEST(AudioDataLocator, MpegAudioLiesBetweenItsTags) {
  const std::string front = id3v2(std::string(300, 'T'));
  const std::string id3v1 = "TAG" + std::string(125, 'x');
  const std::string ape = "APETAGEX" + le32(2000) + le32(40) + le32(0) + le32(0) + std::string(8, '\0');
  const std::string apeItems(8, 'i');
  const std::string file = front + kFrames + apeItems + ape + id3v1;
  EXPECT_EQ(locate(file), (AudioDataRange{static_cast<std::int64_t>(front.size()), static_cast<std::int64_t>(kFrames.size())}));
  EXPECT_EQ(locate(kFrames), (AudioDataRange{0, static_cast<std::int64_t>(kFrames.size())}));
  // A tag whose size runs past the end, and bytes that are no audio at all.
  EXPECT_FALSE(locate(std::string("ID3\x04\x00\x00\x7F\x7F\x7F\x7F", 10) + kFrames).has_value());
  EXPECT_FALSE(locate(front + std::string(400, 'n')).has_value());
}

TEST(AudioDataLocator, FlacWavAiffMp4AndOggContainers) {
  const std::string samples(500, '\x33');
  const std::string flac = std::string("fLaC") + std::string("\x00\x00\x00\x22", 4) + std::string(34, 's') +
                           std::string("\x84\x00\x00\x10", 4) + std::string(16, 'c') + samples;
  EXPECT_EQ(locate(flac), (AudioDataRange{4 + 4 + 34 + 4 + 16, 500}));

  const std::string wav = "RIFF" + le32(4 + 24 + 8 + 500) + "WAVE" + "fmt " + le32(16) + std::string(16, 'f') + "data" +
                          le32(500) + samples + "LIST" + le32(4) + "INFO";
  EXPECT_EQ(locate(wav), (AudioDataRange{12 + 24 + 8, 500}));

  const std::string aiff = "FORM" + be32(0) + "AIFF" + "COMM" + be32(18) + std::string(18, 'c') + "SSND" +
                           be32(8 + 500) + std::string(8, '\0') + samples;
  EXPECT_EQ(locate(aiff), (AudioDataRange{12 + 26 + 8 + 8, 500}));

  const std::string mp4 = be32(16) + "ftypM4A " + be32(0) + be32(8 + 500) + "mdat" + samples + be32(16) + "moov" +
                          std::string(8, 'm');
  EXPECT_EQ(locate(mp4), (AudioDataRange{16 + 8, 500}));
  EXPECT_FALSE(locate(be32(16) + "ftypM4A " + be32(0) + be32(9999) + "mdat" + samples).has_value());

  const auto oggPage = [](std::uint64_t granule, const std::string& body) {
    std::string page = "OggS" + std::string(2, '\0');
    for (int i = 0; i < 8; ++i) page += char(granule >> (8 * i));
    page += std::string(12, '\0') + char(1) + char(body.size());
    return page + body;
  };
  const std::string headers = oggPage(0, std::string(30, 'h')) + oggPage(0, std::string(60, 'v'));
  const std::string audio = oggPage(4096, std::string(200, 'a'));
  EXPECT_EQ(locate(headers + audio), (AudioDataRange{static_cast<std::int64_t>(headers.size()), static_cast<std::int64_t>(audio.size())}));
}

}  // namespace
}  // namespace zarnik
