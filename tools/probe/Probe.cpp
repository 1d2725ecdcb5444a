#include "tools/probe/Probe.h"

#include <charconv>
#include <cmath>
#include <cstdint>
#include <memory>
#include <optional>
#include <string_view>

#include "app/AppVersionInfo.h"
#include "core/PlaylistFile.h"
#include "platform/TextConv.h"
#include "sources/MusicErrors.h"
#include "sources/PluginCtrl.h"
#include "sources/SourceFactory.h"
#include "tools/common/CdArgument.h"
#include "tools/common/Json.h"

namespace probe {
namespace {

using tools::JsonLine;

constexpr const char* kUsage =
    "usage: quorelle-probe plugins\n"
    "       quorelle-probe info PATH [--gapless DB]\n"
    "       quorelle-probe playlist FILE.ppl\n"
    "       quorelle-probe read PATH [--track N] [--range FIRST LAST OFFSET] [--gapless DB]\n"
    "       quorelle-probe --help | --version\n"
    "  PATH is a file, or cd:DEVICE for the audio tracks of a CD: a drive such as\n"
    "  /dev/sr0 or a disc image (a BIN/CUE image by its .cue or .bin, .toc, .nrg);\n"
    "  N counts tracks from 0; FIRST, LAST and OFFSET are CD frames (1/75 s);\n"
    "  --gapless turns MP3 gapless playback on with the silence threshold DB (e.g. -45)\n";

// The player's defaults when it plays: MP3 gapless off, threshold -45 dB.
constexpr bool kPlayGapless = false;
constexpr double kPlayThreshold = -45.0;
constexpr double kListThreshold = -96.0;

// What a PATH argument names: a file, whose extension chooses the source, or
// after "cd:" an audio CD drive or disc image, always read by the CD source
// (a disc image's .cue sheet is not a cue sheet over audio files).
struct ProbePath {
  std::wstring path;
  bool cd = false;
};

// Null for "cd:" with no device.
std::optional<ProbePath> ParsePath(const std::string& arg) {
  const auto device = tools::CdDeviceArgument(arg);
  if (!device) return ProbePath{platform::FromUtf8(arg), false};
  if (device->empty()) return std::nullopt;
  return ProbePath{*device, true};
}

// How sources are opened: the MP3 gapless switch and threshold.
struct OpenSettings {
  bool gapless;
  double threshold;
};

std::optional<double> ParseDecibels(const std::string& text) {
  double value = 0;
  const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), value);
  if (error != std::errc() || end != text.data() + text.size() || !std::isfinite(value)) {
    return std::nullopt;
  }
  return value;
}

std::optional<std::uint32_t> ParseNumber(const std::string& text) {
  std::uint32_t value = 0;
  const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), value);
  if (error != std::errc() || end != text.data() + text.size()) return std::nullopt;
  return value;
}

int Fail(std::ostream& err, std::int32_t code, const std::wstring& path) {
  err << platform::ToUtf8(FormatMusicError(code, path)) << "\n";
  return kExitFailure;
}

// The plug-ins beside the program, as the player loads them.
std::shared_ptr<CPluginCtrl> LoadPlugins() {
  auto plugins = std::make_shared<CPluginCtrl>();
  plugins->LoadPlugins();
  return plugins;
}

// Opens a path the way the playlist lists it (or, with gapless settings, the
// way playback sees it); the result code says why not.
std::int32_t OpenForListing(const ProbePath& target, const std::shared_ptr<CPluginCtrl>& plugins,
                            const std::optional<OpenSettings>& gapless,
                            std::unique_ptr<CMusicData>& source) {
  source = target.cd ? CreateSourceForType(kSourceTypeCdda, target.path, plugins)
                     : CreateSourceForPath(target.path, plugins);
  if (!source) return kMusicErrDecode;
  const OpenSettings settings = gapless.value_or(OpenSettings{false, kListThreshold});
  return source->Open({target.path, settings.gapless, settings.threshold});
}

std::string JsonOf(const TrackInfo& info) {
  using platform::ToUtf8;
  const WAVEFORMATEX& f = info.format;
  return JsonLine()
      .Add("path", ToUtf8(info.path))
      .Add("fileName", ToUtf8(info.fileName))
      .Add("type", info.type)
      .Add("formatName", ToUtf8(info.formatName))
      .Add("totalBytes", info.totalBytes)
      .Add("title", ToUtf8(info.title))
      .Add("artist", ToUtf8(info.artist))
      .Add("album", ToUtf8(info.album))
      .Add("trackNumber", info.trackNumber)
      .Add("formatTag", f.wFormatTag)
      .Add("channels", f.nChannels)
      .Add("sampleRate", f.nSamplesPerSec)
      .Add("avgBytesPerSec", f.nAvgBytesPerSec)
      .Add("blockAlign", f.nBlockAlign)
      .Add("bitsPerSample", f.wBitsPerSample)
      .Add("length", info.length)
      .Add("start", info.start)
      .Add("end", info.end)
      .str();
}

int Plugins(std::ostream& out) {
  const auto plugins = LoadPlugins();
  for (std::size_t i = 0; i < plugins->PluginCount(); ++i) {
    using platform::ToUtf8;
    out << JsonLine()
               .Add("name", ToUtf8(plugins->PluginName(i)))
               .Add("extensions", ToUtf8(plugins->PluginExtensions(i)))
               .Add("version", ToUtf8(plugins->PluginVersion(i)))
               .str()
        << "\n";
  }
  return kExitOk;
}

int Info(const ProbePath& target, const std::optional<OpenSettings>& gapless, std::ostream& out,
         std::ostream& err) {
  const std::wstring& path = target.path;
  const auto plugins = LoadPlugins();
  std::unique_ptr<CMusicData> source;
  if (const auto code = OpenForListing(target, plugins, gapless, source); code != kMusicOk) {
    if (source) {
      err << platform::ToUtf8(FormatOpenError(code, path, *source)) << "\n";
      return kExitFailure;
    }
    return Fail(err, code, path);
  }
  std::int32_t count = 0;
  if (const auto code = source->GetTrackCount(&count); code != kMusicOk) {
    return Fail(err, code, path);
  }
  for (std::int32_t i = 0; i < count; ++i) {
    TrackInfo info;
    if (const auto code = source->GetTrackInfo(i, &info); code != kMusicOk) {
      return Fail(err, code, path);
    }
    out << JsonOf(info) << "\n";
  }
  return kExitOk;
}

int Playlist(const std::wstring& path, std::ostream& out, std::ostream& err) {
  std::vector<TrackInfo> items;
  if (!ReadPlaylistFile(path, &items, LoadPlugins())) return Fail(err, kMusicErrOpen, path);
  for (const auto& item : items)
    out << JsonOf(item) << "\n";
  return kExitOk;
}

struct ReadRequest {
  std::uint32_t track = 0;
  std::optional<std::uint32_t> first, last, offset;
  std::optional<OpenSettings> gapless;
};

int Read(const ProbePath& target, const ReadRequest& request, std::ostream& out,
         std::ostream& err) {
  const std::wstring& path = target.path;
  const auto plugins = LoadPlugins();
  std::unique_ptr<CMusicData> listing;
  if (const auto code = OpenForListing(target, plugins, request.gapless, listing);
      code != kMusicOk) {
    return Fail(err, code, path);
  }
  TrackInfo info;
  if (const auto code = listing->GetTrackInfo(static_cast<std::int32_t>(request.track), &info);
      code != kMusicOk) {
    return Fail(err, code, path);
  }
  listing.reset();

  // Playback re-creates the source from the track's type and audio file.
  const std::wstring audioPath = info.path.empty() ? path : info.path;
  auto source = CreateSourceForType(info.type, audioPath, plugins);
  if (!source) return Fail(err, kMusicErrParam, audioPath);
  const OpenSettings play = request.gapless.value_or(OpenSettings{kPlayGapless, kPlayThreshold});
  if (const auto code = source->Open({audioPath, play.gapless, play.threshold}); code != kMusicOk) {
    return Fail(err, code, audioPath);
  }
  const std::uint32_t first = request.first.value_or(info.start);
  const std::uint32_t last = request.last.value_or(info.end);
  if (const auto code = source->SetPlayRange(first, last, request.offset.value_or(0));
      code != kMusicOk) {
    return Fail(err, code, audioPath);
  }
  for (;;) {
    SourceBuffer chunk;
    const std::int32_t code = ReadChunk(*source, chunk);
    if (code == kMusicEndOfRange || (code == kMusicOk && chunk.data() == nullptr)) break;
    if (code != kMusicOk) return Fail(err, code, audioPath);
    out.write(reinterpret_cast<const char*>(chunk.data()), chunk.size());
  }
  out.flush();
  return kExitOk;
}

int Usage(std::ostream& err) {
  err << kUsage;
  return kExitUsage;
}

int Version(std::ostream& out) {
  out << "quorelle-probe " << platform::ToUtf8(CAppVersionInfo().fileVersion) << "\n";
  return kExitOk;
}

}  // namespace

int RunProbe(const std::vector<std::string>& args, std::ostream& out, std::ostream& err) {
  if (args.size() == 1 && args[0] == "plugins") return Plugins(out);
  if (args.size() == 1 && args[0] == "--help") {
    out << kUsage;
    return kExitOk;
  }
  if (args.size() == 1 && args[0] == "--version") return Version(out);
  if (args.size() < 2) return Usage(err);
  const std::string& command = args[0];
  if (command == "playlist" && args.size() == 2) {
    return Playlist(platform::FromUtf8(args[1]), out, err);
  }
  if (command != "info" && command != "read") return Usage(err);
  const std::optional<ProbePath> target = ParsePath(args[1]);
  if (!target) return Usage(err);

  ReadRequest request;
  for (std::size_t i = 2; i < args.size(); ++i) {
    if (args[i] == "--gapless" && i + 1 < args.size()) {
      const auto threshold = ParseDecibels(args[++i]);
      if (!threshold) return Usage(err);
      request.gapless = OpenSettings{true, *threshold};
    } else if (command == "info") {
      return Usage(err);
    } else if (args[i] == "--track" && i + 1 < args.size()) {
      const auto track = ParseNumber(args[++i]);
      if (!track) return Usage(err);
      request.track = *track;
    } else if (args[i] == "--range" && i + 3 < args.size()) {
      request.first = ParseNumber(args[++i]);
      request.last = ParseNumber(args[++i]);
      request.offset = ParseNumber(args[++i]);
      if (!request.first || !request.last || !request.offset) return Usage(err);
    } else {
      return Usage(err);
    }
  }
  if (command == "info") return Info(*target, request.gapless, out, err);
  return Read(*target, request, out, err);
}

}  // namespace probe
