#pragma once

#include <memory>
#include <string>

#include "core/PlaylistCtrl.h"
#include "platform/TextConv.h"
#include "sources/PluginCtrl.h"
#include "tests/fixtures/DsfWriter.h"
#include "tests/fixtures/WavWriter.h"

namespace playlisttest {

inline std::wstring Wide(const std::string& path) {
  return platform::FromUtf8(path);
}

// A 16-bit stereo 44.1 kHz WAVE file of `frames` frames with a title and an
// artist tag (empty ones are left out).
inline void WriteToneFrames(const std::string& path, std::size_t frames,
                            const std::string& title = "", const std::string& artist = "") {
  std::vector<fixtures::Id3Frame> tags;
  if (!title.empty()) tags.push_back({"TIT2", 3, fixtures::Bytes(title.begin(), title.end())});
  if (!artist.empty()) tags.push_back({"TPE1", 3, fixtures::Bytes(artist.begin(), artist.end())});
  fixtures::WavFile file;
  file.Format({1, 2, 44100, 16});
  if (!tags.empty()) file.Chunk("id3 ", fixtures::Id3Tag(tags));
  file.Data(fixtures::AudioPattern(frames * 4)).Write(path);
}

// The same of whole seconds.
inline void WriteTone(const std::string& path, std::uint32_t seconds, const std::string& title = "",
                      const std::string& artist = "") {
  WriteToneFrames(path, std::size_t{44100} * seconds, title, artist);
}

// One second of DSD64 stereo, read through the DSF plug-in.
inline void WriteDsd(const std::string& path) {
  fixtures::WriteFile(path, fixtures::BuildDsf({}, fixtures::DsdPattern(2, 352800)));
}

// The player's own plug-ins (the DSF plug-in among them).
inline std::shared_ptr<CPluginCtrl> PlayerPlugins() {
  auto plugins = std::make_shared<CPluginCtrl>();
  plugins->LoadPluginsFrom(Wide(QP_PLUGIN_DIR));
  return plugins;
}

inline std::shared_ptr<CPlaylistCtrl> NewPlaylist(std::shared_ptr<CPluginCtrl> plugins = nullptr) {
  return std::make_shared<CPlaylistCtrl>(std::make_shared<CPlaylistCtrlImpl>(), std::move(plugins));
}

}  // namespace playlisttest
