#pragma once

// The files the test plug-in opens: a fixed header describing the stream to
// serve and its tags. Shared by the test plug-in and the tests that write
// such files.

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <string>

namespace testplugin {

enum Flags : std::int32_t {
  kClaimOversizeRead = 1,  // Read reports twice the bytes it delivers
  kFailSecondRead = 2,     // every Read after the first fails
};

struct Header {
  char magic[4] = {'Q', 'P', 'T', 'P'};
  std::int32_t channels = 0;
  std::int32_t sampleRate = 0;
  std::int32_t bitsPerSample = 0;
  std::int32_t blockAlign = 0;
  std::int32_t frameCount = 0;
  std::int32_t alignment = 1;
  std::int32_t dataSize = 0;
  std::int32_t isDsd = 0;
  std::int32_t flags = 0;
  std::int32_t titleEncoding = 0;
  std::int32_t titleLength = 0;
  std::int32_t artistEncoding = 0;
  std::int32_t artistLength = 0;
};

// The byte at `offset` within frame `frame` of every stream the plug-in serves.
inline std::uint8_t TestPluginByte(std::size_t frame, std::size_t offset) {
  return static_cast<std::uint8_t>(frame * 31 + offset * 7 + (frame >> 8));
}

inline bool ReadFile(std::FILE* file, Header& header, std::string& title, std::string& artist) {
  if (std::fread(&header, sizeof header, 1, file) != 1) return false;
  if (std::string(header.magic, 4) != "QPTP" || header.titleLength < 0 || header.artistLength < 0 ||
      header.titleLength > 4096 || header.artistLength > 4096) {
    return false;
  }
  title.assign(static_cast<std::size_t>(header.titleLength), '\0');
  artist.assign(static_cast<std::size_t>(header.artistLength), '\0');
  return std::fread(title.data(), 1, title.size(), file) == title.size() &&
         std::fread(artist.data(), 1, artist.size(), file) == artist.size();
}

inline bool WriteFile(const std::string& path, Header header, const std::string& title,
                      const std::string& artist) {
  header.titleLength = static_cast<std::int32_t>(title.size());
  header.artistLength = static_cast<std::int32_t>(artist.size());
  std::FILE* file = std::fopen(path.c_str(), "wb");
  if (file == nullptr) return false;
  const bool ok = std::fwrite(&header, sizeof header, 1, file) == 1 &&
                  std::fwrite(title.data(), 1, title.size(), file) == title.size() &&
                  std::fwrite(artist.data(), 1, artist.size(), file) == artist.size();
  return std::fclose(file) == 0 && ok;
}

}  // namespace testplugin
