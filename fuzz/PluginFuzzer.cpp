// A source plug-in (DSF, DSDIFF, FLAC: each target links one plug-in's own
// sources) as the player's host drives it, through its memory interface: open
// the image, ask for its format, tags and sizes, then read every frame of the
// range in each output mode (raw DSD words and DSD over PCM; a PCM plug-in
// refuses the modes and reads its PCM).
#include <algorithm>
#include <cstddef>
#include <cstdint>

#include "fuzz/FuzzInput.h"
#include "sources/PluginInterface.h"

extern "C" CPlayerPluginIF* ppi_MakeInstance(void);
extern "C" void ppi_ReleaseInstance(CPlayerPluginIF* object);

namespace {

// Frames per read, as the host asks for them (a multiple of the alignment).
constexpr std::int32_t kFramesPerRead = 65536;

void ReadEveryFrame(CPlayerPluginIF* plugin, std::int32_t frames) {
  const PlayerPluginTable& op = *plugin->table;
  for (std::int32_t first = 0; first < frames;) {
    const std::int32_t last = first + std::min(kFramesPerRead, frames - first) - 1;
    if (op.SetFrameRange(plugin, first, last) != PPI_OK) return;
    void* data = nullptr;
    std::uint32_t size = 0;
    const std::int32_t result = op.Read(plugin, &data, &size);
    if (result != PPI_OK) return;
    if (data == nullptr) fuzzing::Violated("a read succeeded without data");
    op.ReleaseData(plugin);
    first = last + 1;
  }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  if (size == 0) return 0;
  CPlayerPluginIF* plugin = ppi_MakeInstance();
  if (plugin == nullptr) fuzzing::Violated("the plug-in made no object");
  const PlayerPluginTable& op = *plugin->table;
  static const PPI_GUID kInterface = PPI_INTERFACE_ID_INIT;
  if (op.Initialize(plugin, &kInterface) != PPI_OK) fuzzing::Violated("the handshake failed");

  if (op.OpenMemory(plugin, data, static_cast<std::int32_t>(size)) == PPI_OK) {
    WAVEFORMATEX format{};
    std::int32_t frames = 0, bytes = 0, alignment = 0;
    op.GetFormat(plugin, &format);
    op.GetDataSize(plugin, &bytes);
    op.GetAlignment(plugin, &alignment);
    char16_t title[64], artist[64];
    std::int32_t titleEncoding = 0, artistEncoding = 0;
    op.GetTitleArtist(plugin, title, sizeof title, &titleEncoding, artist, sizeof artist,
                      &artistEncoding);
    const void* tags = nullptr;
    op.GetTagMap(plugin, &tags);
    if (op.GetFrameCount(plugin, &frames) == PPI_OK) {
      for (const std::int32_t mode : {PPI_MODE_RAW_DSD, PPI_MODE_DOP}) {
        op.SetOutputMode(plugin, mode);
        ReadEveryFrame(plugin, frames);
      }
    }
  }
  ppi_ReleaseInstance(plugin);
  return 0;
}
