#pragma once

#include <array>
#include <cstdint>
#include <string>
#include <vector>

struct TrackInfo;

// The texts the facade shows for playlist items and asks file dialogs for.
namespace tk {

// The first word of a format name, up to a comma or a space.
std::wstring FormatNameToken(const std::wstring& formatName);

// The rate an item plays at as a person reads it: the sample rate, or for
// DSD items (DSF, DFF), which carry their bits in PCM frames of 24 bits
// (over PCM, 16 DSD bits a frame) or 32 (raw), the DSD bit rate.
struct ItemRate {
  std::uint64_t hertz = 0;
  bool dsd = false;
};
ItemRate RateOf(const TrackInfo& item);

// A length in 1/75 s as "m:ss", or "h:mm:ss" from one hour on.
std::wstring DurationText(std::uint32_t length);

// Columns 1 to 4 of an item's row: artist, title (the file name when the
// title is empty), duration and path, each cut to 260 characters.
std::array<std::wstring, 4> RowTexts(const TrackInfo& item);

// The extensions in a source's extension text: the first ends at '|', ','
// or a blank, the others at ',' or a blank; empty ones are skipped.
std::vector<std::wstring> ExtensionTokens(const std::wstring& text);

// True when the text after the path's last dot is one of `extensions`, in
// any case.
bool HasPlayableExtension(const std::wstring& path, const std::vector<std::wstring>& extensions);

// One kind of file for the open dialogs: its description and extensions.
struct FileKind {
  std::wstring description;
  std::vector<std::wstring> extensions;
};

// The music filter of the open dialogs: "All Music File" with every
// extension, then one entry per kind: "desc|*.a;*.b;|desc2|*.c;||".
std::wstring MusicFilter(const std::vector<FileKind>& kinds);

}  // namespace tk
