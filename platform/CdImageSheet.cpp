#include "platform/CdImageSheet.h"

#include <cstdio>
#include <cstring>
#include <memory>
#include <string_view>

#include "platform/CdDevice.h"

namespace platform {
namespace {

// libcdio's line buffers: longer lines reach its parsers in pieces.
constexpr int kCueLinePiece = 4096;
constexpr int kTocLinePiece = 512;
constexpr const char* kSeparators = " \t\n\r";

enum class SheetKind { kNone, kCue, kToc };

struct FileCloser {
  void operator()(std::FILE* file) const { std::fclose(file); }
};
using SheetFile = std::unique_ptr<std::FILE, FileCloser>;

bool EndsWithEither(std::string_view name, std::string_view lower, std::string_view upper) {
  return name.size() > lower.size() && (name.ends_with(lower) || name.ends_with(upper));
}

// The sheet libcdio parses for `name`, and how.
SheetKind SheetFor(std::string& name) {
  if (EndsWithEither(name, "cue", "CUE")) return SheetKind::kCue;
  if (EndsWithEither(name, "bin", "BIN")) {
    const bool upper = name.ends_with("BIN");
    name.replace(name.size() - 3, 3, upper ? "CUE" : "cue");
    return SheetKind::kCue;
  }
  if (EndsWithEither(name, "toc", "TOC")) return SheetKind::kToc;
  return SheetKind::kNone;
}

bool IsWord(const char* word, const char* expected) {
  return word != nullptr && std::strcmp(word, expected) == 0;
}

bool CueSheetFits(std::FILE* sheet) {
  char piece[kCueLinePiece];
  std::size_t tracks = 0;
  int firstNumber = 0;
  while (std::fgets(piece, sizeof piece, sheet) != nullptr) {
    char* rest = nullptr;
    if (!IsWord(strtok_r(piece, kSeparators, &rest), "TRACK")) continue;
    if (++tracks > kCdMaxTracks) return false;
    if (tracks == 1) {
      const char* number = strtok_r(nullptr, kSeparators, &rest);
      if (number == nullptr || std::sscanf(number, "%d", &firstNumber) != 1) return true;
    }
  }
  // libcdio sets the last track's length at index (tracks - first number).
  return tracks > 0 && firstNumber <= static_cast<int>(tracks);
}

// The .toc track modes for which libcdio sets a sector size; it divides by
// the size of the others (none given, MODE2, MODE2_FORM1, MODE2_FORM2),
// which stays zero.
bool ModeHasSectorSize(const char* mode) {
  for (const char* known : {"AUDIO", "MODE1", "MODE1_RAW", "MODE2_FORM_MIX", "MODE2_RAW"})
    if (IsWord(mode, known)) return true;
  return false;
}

bool TocSheetFits(std::FILE* sheet) {
  char piece[kTocLinePiece];
  std::size_t tracks = 0;
  while (std::fgets(piece, sizeof piece, sheet) != nullptr) {
    if (char* comment = std::strstr(piece, "//")) *comment = '\0';
    char* rest = nullptr;
    const char* keyword = strtok_r(piece, kSeparators, &rest);
    if (IsWord(keyword, "TRACK")) {
      if (++tracks > kCdMaxTracks) return false;
      if (!ModeHasSectorSize(strtok_r(nullptr, kSeparators, &rest))) return false;
    } else if (tracks == 0 &&
               (IsWord(keyword, "ISRC") || IsWord(keyword, "SILENCE") || IsWord(keyword, "NO"))) {
      return false;
    }
  }
  return tracks > 0;
}

}  // namespace

bool ImageSheetFitsTrackTable(const std::string& name) {
  std::string sheetName = name;
  const SheetKind kind = SheetFor(sheetName);
  if (kind == SheetKind::kNone) return true;
  const SheetFile sheet(std::fopen(sheetName.c_str(), "r"));
  if (sheet == nullptr) return true;
  return kind == SheetKind::kCue ? CueSheetFits(sheet.get()) : TocSheetFits(sheet.get());
}

}  // namespace platform
