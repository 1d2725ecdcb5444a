#include "sources/MusicDataPlugin.h"

#include <algorithm>
#include <cmath>
#include <cstring>
#include <limits>
#include <map>
#include <string>
#include <vector>

#include "platform/TextConv.h"
#include "sources/Id3Text.h"

namespace {

// Identity texts are read into buffers of this many units, of which the
// plug-in may use 256.
constexpr std::size_t kIdentityUnits = 258;
constexpr std::int32_t kIdentityLength = 256;
constexpr std::size_t kExtensionUnits = 256;
constexpr std::int32_t kExtensionLength = 255;
// Tag texts: 512 bytes and room for two terminating zeros.
constexpr std::size_t kTagBufferBytes = 514;
constexpr std::int32_t kTagBytes = 512;
// Chunks are whole multiples of 64 KiB, about one second each.
constexpr std::uint32_t kChunkGranularity = 65536;
constexpr std::int32_t kRawDsdWords = PPI_MODE_RAW_DSD;

}  // namespace

CMusicDataPlugin::CMusicDataPlugin(std::shared_ptr<CPluginCtrl> registry, const std::wstring& path)
    : registry_(std::move(registry)) {
  if (registry_) plugin_ = registry_->FindPlugin(path);
  TakeIdentity();
}

CMusicDataPlugin::CMusicDataPlugin(std::shared_ptr<CPluginCtrl> registry, std::size_t index)
    : registry_(std::move(registry)) {
  if (registry_) plugin_ = registry_->PluginAt(index);
  TakeIdentity();
}

CMusicDataPlugin::~CMusicDataPlugin() {
  CPluginCtrl::ReleasePlugin(plugin_);
}

void CMusicDataPlugin::TakeIdentity() {
  if (plugin_) {
    name_ = ReadPluginText(plugin_.object, ops().GetName, kIdentityUnits, kIdentityLength);
    extensions_ =
        ReadPluginText(plugin_.object, ops().GetExtensions, kIdentityUnits, kIdentityLength);
  }
  fileType_ = {name_.c_str(), extensions_.c_str()};
}

const FileTypeInfo* CMusicDataPlugin::GetFileType() {
  return &fileType_;
}

std::int32_t CMusicDataPlugin::Open(const MusicOpenParams& params) {
  currentFrame_ = 0;
  totalFrames_ = 0;
  openFailure_.clear();
  if (!plugin_) return kMusicErrDecode;
  CPlayerPluginIF* object = plugin_.object;
  ops().ReleaseData(object);
  // Raw DSD words; a PCM plug-in may refuse the switch, which is harmless.
  SetDsdPacking(kRawDsdWords);
  const std::u16string path = platform::ToUtf16(params.path);
  if (const auto code = ops().OpenFile(object, path.c_str()); code != PPI_OK) {
    const void* dictionary = nullptr;
    if (ops().GetTagMap(object, &dictionary) == PPI_OK && dictionary != nullptr) {
      const auto& tags = *static_cast<const std::map<std::string, std::string>*>(dictionary);
      if (const auto reason = tags.find("Error"); reason != tags.end()) {
        openFailure_ = platform::FromUtf8(reason->second);
      }
    }
    return MapPluginResult(code);
  }
  info_.type = kSourceTypePlugin;

  // A tag text too long for our buffers leaves title and artist empty rather
  // than refusing a playable file.
  std::vector<std::uint8_t> title(kTagBufferBytes), artist(kTagBufferBytes);
  std::int32_t titleEncoding = 0, artistEncoding = 0;
  const bool haveTags = ops().GetTitleArtist(object, title.data(), kTagBytes, &titleEncoding,
                                             artist.data(), kTagBytes, &artistEncoding) == PPI_OK;
  std::int32_t result = PPI_OK;
  const std::wstring extensions =
      ReadPluginText(object, ops().GetExtensions, kExtensionUnits, kExtensionLength, &result);
  std::int32_t frameCount = 0, dataSize = 0;
  if (result == PPI_OK) result = ops().GetFormat(object, &info_.format);
  if (result == PPI_OK) result = ops().GetFrameCount(object, &frameCount);
  if (result == PPI_OK) result = ops().GetDataSize(object, &dataSize);
  if (result != PPI_OK) return MapPluginResult(result);

  WAVEFORMATEX& format = info_.format;
  // A file whose headers did not parse reports no channels or no rate; one
  // without frames has nothing to play.
  if (format.nChannels == 0 || format.nBlockAlign == 0 || format.nSamplesPerSec == 0 ||
      frameCount <= 0) {
    return kMusicErrDecode;
  }
  info_.totalBytes = static_cast<std::uint32_t>(dataSize);  // sizes up to 4 GiB - 1
  info_.formatName = extensions;
  info_.title.clear();
  info_.artist.clear();
  if (haveTags) {
    info_.title =
        DecodeId3Text(title.data(), title.size(), static_cast<std::uint8_t>(titleEncoding));
    info_.artist =
        DecodeId3Text(artist.data(), artist.size(), static_cast<std::uint8_t>(artistEncoding));
  }
  if (format.nAvgBytesPerSec == 0) format.nAvgBytesPerSec = 1;

  const double frames =
      std::ceil(static_cast<double>(frameCount) / format.nSamplesPerSec * kFramesPerSecond);
  info_.length = static_cast<std::uint32_t>(
      std::min<double>(frames, std::numeric_limits<std::uint32_t>::max()));
  info_.start = 0;
  info_.end = std::max<std::uint32_t>(info_.length, 1) - 1;
  totalFrames_ = static_cast<std::uint32_t>(frameCount);
  return kMusicOk;
}

std::int32_t CMusicDataPlugin::GetTrackCount(std::int32_t* count) {
  if (count == nullptr) return kMusicErrParam;
  *count = 1;
  return kMusicOk;
}

std::int32_t CMusicDataPlugin::GetTrackInfo(std::int32_t index, TrackInfo* info) {
  if (index != 0 || info == nullptr) return kMusicErrParam;
  CopyReportedFields(info_, *info, false);  // the path stays the caller's
  return kMusicOk;
}

std::uint32_t CMusicDataPlugin::Alignment() const {
  std::int32_t frames = 0;
  if (ops().GetAlignment(plugin_.object, &frames) != PPI_OK || frames <= 0) return 1;
  return static_cast<std::uint32_t>(frames);
}

std::uint32_t CMusicDataPlugin::TotalFrames() const {
  std::int32_t frames = 0;
  if (ops().GetFrameCount(plugin_.object, &frames) != PPI_OK || frames < 0) return 0;
  return static_cast<std::uint32_t>(frames);
}

std::int32_t CMusicDataPlugin::SetPlayRange(std::uint32_t first, std::uint32_t last,
                                            std::uint32_t offset) {
  if (!plugin_) return kMusicErrDecode;
  const std::uint64_t alignment = Alignment();
  const std::uint64_t total = TotalFrames();
  const std::uint64_t rate = info_.format.nSamplesPerSec;
  // Whole seconds, then down to the plug-in's alignment; 64-bit so that long
  // files at high DSD rates do not wrap round.
  auto toFrames = [&](std::uint64_t cdFrame) {
    return cdFrame / kFramesPerSecond * rate / alignment * alignment;
  };
  std::uint64_t stop = toFrames(last);
  std::uint64_t start = toFrames(std::uint64_t{first} + offset);
  stop = std::min(stop, std::max<std::uint64_t>(total, 1) - 1);
  start = std::min(start, stop);
  currentFrame_ = static_cast<std::uint32_t>(start);
  totalFrames_ = static_cast<std::uint32_t>(total);
  return MapPluginResult(ops().SetFrameRange(plugin_.object, static_cast<std::int32_t>(start),
                                             static_cast<std::int32_t>(total)));
}

std::int32_t CMusicDataPlugin::CopyFrames(std::uint32_t last, void** data, std::uint32_t* size) {
  CPlayerPluginIF* object = plugin_.object;
  const std::uint32_t blockAlign = info_.format.nBlockAlign;
  if (const auto code = ops().SetFrameRange(object, static_cast<std::int32_t>(currentFrame_),
                                            static_cast<std::int32_t>(last));
      code != PPI_OK) {
    return MapPluginResult(code);
  }
  void* pluginData = nullptr;
  std::uint32_t pluginSize = 0;
  const std::int32_t result = MapPluginResult(ops().Read(object, &pluginData, &pluginSize));
  const std::uint64_t expected = (std::uint64_t{last} - currentFrame_ + 1) * blockAlign;
  if (result == kMusicOk && (pluginData == nullptr || pluginSize > expected)) {
    // A plug-in that claims more than it was asked for is not to be trusted.
    ops().ReleaseData(object);
    return kMusicErrDecode;
  }
  if (pluginSize == 0 || pluginData == nullptr) {
    ops().ReleaseData(object);
    return result == kMusicOk ? kMusicEndOfRange : result;
  }
  currentFrame_ += pluginSize / blockAlign;
  if (result != kMusicOk) {
    ops().ReleaseData(object);
    return result;
  }
  void* copy = AllocBuffer(pluginSize);
  if (copy == nullptr) {
    ops().ReleaseData(object);
    return kMusicErrMemory;
  }
  std::memcpy(copy, pluginData, pluginSize);
  *data = copy;
  *size = pluginSize;
  return MapPluginResult(ops().ReleaseData(object));
}

std::int32_t CMusicDataPlugin::Read(void** data, std::uint32_t* size) {
  if (data == nullptr || size == nullptr) return kMusicErrParam;
  *data = nullptr;
  *size = 0;
  if (!plugin_ || info_.format.nBlockAlign == 0) return kMusicEndOfRange;
  const std::uint64_t alignment = Alignment();
  const std::uint64_t chunk =
      std::max<std::uint64_t>(info_.format.nAvgBytesPerSec / kChunkGranularity, 1) *
      kChunkGranularity;
  const std::uint64_t frames =
      std::max<std::uint64_t>(chunk / info_.format.nBlockAlign / alignment * alignment, alignment);
  std::uint64_t last = std::max<std::uint64_t>(currentFrame_ + frames, 1) - 1;
  if (last >= totalFrames_) last = std::max<std::uint32_t>(totalFrames_, 1) - 1;
  if (currentFrame_ > last || currentFrame_ >= totalFrames_) return kMusicEndOfRange;
  return CopyFrames(static_cast<std::uint32_t>(last), data, size);
}

std::int32_t CMusicDataPlugin::ReadAll(void** data, std::uint32_t* size) {
  if (data == nullptr || size == nullptr) return kMusicErrParam;
  *data = nullptr;
  *size = 0;
  if (!plugin_ || currentFrame_ >= totalFrames_) return kMusicEndOfRange;
  // Copied like every other delivery, so the caller frees it the same way.
  return CopyFrames(totalFrames_ - 1, data, size);
}

std::int32_t CMusicDataPlugin::IsDsd(std::int32_t* flag) {
  if (!plugin_) return kMusicErrDecode;
  return MapPluginResult(ops().IsDsd(plugin_.object, flag));
}

std::int32_t CMusicDataPlugin::SetDsdPacking(std::int32_t mode) {
  if (!plugin_) return kMusicErrDecode;
  return MapPluginResult(ops().SetOutputMode(plugin_.object, mode));
}

std::int32_t CMusicDataPlugin::IsMultiInstance(std::int32_t* flag) {
  if (!plugin_) return kMusicErrDecode;
  return MapPluginResult(ops().IsMultiInstance(plugin_.object, flag));
}

std::wstring CMusicDataPlugin::OpenFailureReason() const {
  return openFailure_;
}
