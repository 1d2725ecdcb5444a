#include "sources/Mp3Stream.h"

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <cstring>

#include "sources/SmartFileReader.h"

namespace {

// Input is handed to the decoder in blocks of the reader's window size.
constexpr std::uint64_t kConversionBlockBytes = CSmartFileReader::kWindowBytes;
constexpr double kSilenceFloorDb = -96.0;
constexpr double kFullScale = 32767.0;
// Output samples that fill the synthesis filter bank's history.
constexpr std::uint64_t kSynthesisHistory = 512;
// The furthest back a Layer III frame reaches for its data (main_data_begin).
constexpr std::uint64_t kMpeg1Reservoir = 511;
constexpr std::uint64_t kMpeg2Reservoir = 255;
constexpr std::uint64_t kRingPeriodFrames = 8;

// The largest absolute value among the channels of one sample frame.
int PeakOf(const std::int16_t* frame, std::uint32_t channels) {
  int peak = 0;
  for (std::uint32_t c = 0; c < channels; ++c)
    peak = std::max(peak, std::abs(static_cast<int>(frame[c])));
  return peak;
}

}  // namespace

std::int16_t SilenceAmplitude(double thresholdDb) {
  const double db = thresholdDb >= kSilenceFloorDb ? std::min(thresholdDb, 0.0) : kSilenceFloorDb;
  return static_cast<std::int16_t>(std::pow(10.0, db / 20.0) * kFullScale);
}

CMp3Stream::CMp3Stream() = default;
CMp3Stream::~CMp3Stream() = default;

bool CMp3Stream::Open(const std::wstring& path, double thresholdDb) {
  open_ = false;
  failed_ = false;
  info_ = Mp3StreamInfo();
  info_.path = path;
  reader_ = std::make_shared<CSmartFileReader>();
  if (!reader_->Open(path) || !AnalyzeMp3Stream(reader_, info_)) return false;
  if (!decoder_.Open(SampleRate(), Channels())) return false;
  open_ = true;
  Rewind();
  if (info_.delay == 0 && info_.padding == 0) EstimateSilence(thresholdDb);
  return true;
}

void CMp3Stream::Rewind() {
  inputPosition_ = 0;
  pending_ = {};
  decodedSamples_ = 0;
  discardAtHead_ = info_.delay + kMp3DecoderDelay;
  currentSample_ = 0;
  restart_ = true;
}

std::uint64_t CMp3Stream::EndLimit() const {
  const std::uint64_t decoded = info_.totalFrames * info_.SamplesPerFrame();
  const std::uint64_t cut = info_.padding > kMp3DecoderDelay ? info_.padding - kMp3DecoderDelay : 0;
  return decoded > cut ? decoded - cut : 0;
}

CMp3Stream::Step CMp3Stream::ConversionStep() {
  if (!open_ || failed_) return Step::kFailed;
  if (restart_) {
    if (!decoder_.Restart()) {
      failed_ = true;
      return Step::kFailed;
    }
    restart_ = false;
  }
  for (;;) {
    std::span<const std::int16_t> samples;
    switch (decoder_.DecodeFrame(samples)) {
      case CMp3FrameDecoder::Result::kFrame:
        pending_ = samples;
        decodedSamples_ += samples.size() / Channels();
        return Step::kProduced;
      case CMp3FrameDecoder::Result::kError:
        pending_ = {};
        failed_ = true;
        return Step::kFailed;
      case CMp3FrameDecoder::Result::kNeedMore:
        break;
    }
    if (inputPosition_ >= info_.audioLength) return Step::kNothing;
    const auto block =
        reader_->FetchAt(info_.audioStart + inputPosition_,
                         static_cast<std::uint32_t>(
                             std::min(kConversionBlockBytes, info_.audioLength - inputPosition_)));
    if (block.empty()) return Step::kNothing;
    if (!decoder_.Feed(block)) {
      failed_ = true;
      return Step::kFailed;
    }
    inputPosition_ += block.size();
  }
}

void CMp3Stream::Trim() {
  const std::uint32_t channels = Channels();
  const std::uint64_t head = std::min<std::uint64_t>(discardAtHead_, pending_.size() / channels);
  pending_ = pending_.subspan(head * channels);
  discardAtHead_ -= head;

  const std::uint64_t limit = EndLimit();
  if (decodedSamples_ > limit) {
    const std::uint64_t cut =
        std::min<std::uint64_t>(decodedSamples_ - limit, pending_.size() / channels);
    pending_ = pending_.first(pending_.size() - cut * channels);
    decodedSamples_ -= cut;
  }
}

std::int64_t CMp3Stream::Read(std::span<std::uint8_t> buffer, std::uint64_t maxSamples) {
  if (!open_ || failed_) return -1;
  const std::uint32_t channels = Channels();
  const std::uint32_t blockAlign = BlockAlign();
  const std::uint64_t wanted = std::min<std::uint64_t>(buffer.size() / blockAlign, maxSamples);
  std::uint64_t delivered = 0;
  while (delivered < wanted) {
    if (pending_.empty()) {
      // Nothing past the end limit is ever delivered; decoding on would only
      // meet whatever follows the last frame.
      if (decodedSamples_ >= EndLimit()) break;
      const Step step = ConversionStep();
      if (step == Step::kFailed) return -1;
      if (step == Step::kNothing) break;
    }
    Trim();
    const std::uint64_t copy =
        std::min<std::uint64_t>(pending_.size() / channels, wanted - delivered);
    std::memcpy(buffer.data() + delivered * blockAlign, pending_.data(), copy * blockAlign);
    pending_ = pending_.subspan(copy * channels);
    delivered += copy;
    currentSample_ += copy;
  }
  return static_cast<std::int64_t>(delivered);
}

std::uint64_t CMp3Stream::DecodeStartFor(std::uint64_t frame) const {
  // The frames before `frame` whose output overlaps into it and fills the
  // synthesis filter bank's 512-sample history must decode whole.
  const std::uint64_t samplesPerFrame = info_.SamplesPerFrame();
  const std::uint64_t overlapFrames = (kSynthesisHistory + samplesPerFrame - 1) / samplesPerFrame;
  std::uint64_t start = frame > overlapFrames ? frame - overlapFrames : 0;
  if (info_.firstHeader.Layer() != 3) return start;

  // Layer III frames take part of their data from the bit reservoir in the
  // frames before them: feed those too.
  const std::uint64_t reservoir = info_.firstHeader.VersionIndex() == Mp3FrameHeader::kMpeg1
                                      ? kMpeg1Reservoir
                                      : kMpeg2Reservoir;
  std::uint64_t mainData = 0;
  while (start > 0 && mainData < reservoir) {
    --start;
    const Mp3FrameHeader& header = info_.index[start].header;
    const std::uint64_t overhead = 4 + (header.HasCrc() ? 2 : 0) + header.SideInfoBytes();
    if (header.FrameLength() > overhead) mainData += header.FrameLength() - overhead;
  }
  // Every eight frames the synthesis filter bank's ring of 16 blocks of 32
  // samples is back where it started (frames are 12, 18 or 36 blocks), so
  // a start there sums in the same order as a run from the start would.
  return start / kRingPeriodFrames * kRingPeriodFrames;
}

bool CMp3Stream::Seek(std::uint64_t sample) {
  if (!open_ || failed_) return false;
  const std::uint64_t samplesPerFrame = info_.SamplesPerFrame();
  if (!info_.index.ExtendTo(sample / samplesPerFrame)) return false;
  // Decoding starts early enough for the first delivered sample to come out
  // as it would in a run from the start; the trimming counts from there.
  const std::uint64_t frame = DecodeStartFor(sample / samplesPerFrame);
  inputPosition_ = info_.index[frame].offset;
  decodedSamples_ = frame * samplesPerFrame;
  pending_ = {};
  restart_ = true;
  if (ConversionStep() == Step::kFailed) return false;
  currentSample_ = sample;
  discardAtHead_ = info_.delay + kMp3DecoderDelay + (sample - frame * samplesPerFrame);
  return true;
}

bool CMp3Stream::ReadWindow(std::uint64_t sample, std::uint64_t count,
                            std::vector<std::int16_t>& out) {
  out.assign(count * Channels(), 0);
  if (!Seek(sample)) return false;
  const std::int64_t got =
      Read({reinterpret_cast<std::uint8_t*>(out.data()), out.size() * sizeof(std::int16_t)}, count);
  if (got < 0) return false;
  out.resize(static_cast<std::size_t>(got) * Channels());
  return true;
}

void CMp3Stream::EstimateSilence(double thresholdDb) {
  const int amplitude = SilenceAmplitude(thresholdDb);
  const std::uint64_t total = info_.totalSamples;
  const std::uint32_t channels = Channels();
  if (amplitude == 0 || BytesPerSample() != 2 || (channels != 1 && channels != 2) ||
      SampleRate() == 0 || total == 0) {
    return;
  }
  const std::uint64_t window = std::min<std::uint64_t>(SampleRate(), total);

  std::vector<std::int16_t> head, tail;
  if (!ReadWindow(0, window, head) || !ReadWindow(total - window, window, tail)) {
    // A stream that breaks here keeps its full length; playback meets the
    // break when it gets there.
    failed_ = false;
    Rewind();
    return;
  }
  const std::uint64_t headFrames = head.size() / channels;
  std::uint64_t lead = 0;
  while (lead < headFrames && PeakOf(&head[lead * channels], channels) <= amplitude)
    ++lead;
  const std::uint64_t tailFrames = tail.size() / channels;
  std::uint64_t trail = 0;
  while (trail < tailFrames &&
         PeakOf(&tail[(tailFrames - 1 - trail) * channels], channels) <= amplitude) {
    ++trail;
  }

  lead = std::min(lead, total - 1);
  trail = std::min(trail, total - lead - 1);
  info_.delay = lead >= kMp3DecoderDelay + 1 ? lead - kMp3DecoderDelay : 0;
  info_.padding = trail + kMp3DecoderDelay;
  info_.UpdateTotalSamples();
  Rewind();
}
