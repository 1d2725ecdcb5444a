#pragma once

#include <cstdint>
#include <string>
#include <vector>

// The plain records the toolkit facade hands to the user interface.

// One playlist item as the Properties dialog shows it.
struct TkItemInfo {
  std::wstring fileName;
  std::wstring title;
  std::wstring artist;
  std::wstring formatName;
  std::uint32_t sampleRate = 0;  // Hz
  std::uint32_t bitsPerSample = 0;
  double seconds = 0;  // the item's length in whole seconds
};

// One loaded plug-in: the three columns of the About box.
struct TkPluginInfo {
  std::wstring name;
  std::wstring extensions;
  std::wstring version;
};
using TkPluginList = std::vector<TkPluginInfo>;

// Where the list goes in its owner and how wide its five columns are.
struct TkListLayout {
  std::int32_t unused = 0;
  std::int32_t x = 0;
  std::int32_t y = 0;
  std::int32_t width = 0;
  std::int32_t height = 0;
  std::int32_t columnWidths[5] = {0, 0, 0, 0, 0};
};
