#include "output/HalfFiller.h"

#include <algorithm>
#include <cstring>

#include "output/AsioHost.h"
#include "output/DeviceSession.h"
#include "output/DopStamping.h"
#include "output/EngineSettings.h"
#include "output/SamplePacking.h"

namespace output {

HalfFiller::HalfFiller(ChunkQueues& queues, const DeviceSession& device)
    : queues_(queues), device_(device) {}

// ------------------------------------------------------------------ slots

void HalfFiller::PrepareSlot(int slot, bool isDsd, double deviceRate, bool gaplessJoin) {
  Slot& prepared = slots_[slot];
  prepared.isDsd = isDsd;
  prepared.gaplessJoin = gaplessJoin;
  prepared.deviceRate = deviceRate;
  std::fill(std::begin(prepared.channelActive), std::end(prepared.channelActive), true);
  for (auto& consumer : prepared.consumers) {
    consumer.readOffset = 0;
    consumer.bytesLeft = 0;
  }
  prepared.endPhase = EndPhase::kPlaying;
  prepared.switchesToEndMessage = 0;
  prepared.endKind = TrackEnd::kOtherSlotTookOver;
}

void HalfFiller::CancelJoins() {
  for (auto& slot : slots_)
    slot.gaplessJoin = false;
}

void HalfFiller::DropConsumers(int slot) {
  for (auto& consumer : slots_[slot].consumers) {
    queues_.Release(consumer.chunk);
    consumer = Consumer{};
  }
}

std::int32_t HalfFiller::DsdMode(int slot) const {
  return slots_[slot].isDsd && decodeMode_ == kDecodeNative ? 1 : 0;
}

bool HalfFiller::IsDop(int slot) const {
  return slots_[slot].isDsd && decodeMode_ == kDecodeDop;
}

std::uint8_t HalfFiller::SilenceByte(int slot) const {
  return SilenceFillByte(DsdMode(slot) == 1);
}

bool HalfFiller::OtherSlotJoins(int slot) const {
  // A DoP stream and a PCM one of the same rate do not join: the stream's
  // kind holds from start to stop (the driver was told it).
  const int other = 1 - slot;
  return slots_[other].gaplessJoin && slots_[other].deviceRate == device_.openRate() &&
         DsdMode(other) == device_.dsdMode() && IsDop(other) == dopStream_;
}

// -------------------------------------------------------------------- run

void HalfFiller::BeginRun(std::int32_t decodeMode) {
  decodeMode_ = decodeMode;
  dopStream_ = IsDop(current_);
}

void HalfFiller::ResetSwitchCount() {
  switches_ = 0;
  lastSoundSwitch_ = -1;
}

void HalfFiller::Prefill() {
  const Slot& slot = slots_[current_];
  // A DoP stream begins at phase 0 with half 0; half 1 follows it, and so
  // does the first half the buffer switch fills.
  const auto next = static_cast<std::uint32_t>(device_.preferredSize()) & 1;
  for (int i = 0; i < device_.outputBuffers(); ++i) {
    if (i < kMaxOutputChannels && !slot.channelActive[i]) break;
    const std::size_t bytes = device_.HalfBytes(i);
    for (int h = 0; h < 2; ++h) {
      auto* buffer = static_cast<std::uint8_t*>(device_.buffer(i).buffers[h]);
      if (buffer != nullptr)
        WriteIdle(i, buffer, 0, bytes, SilenceByte(current_), h == 0 ? 0 : next);
    }
  }
  dopOutPhase_ = next;
}

void HalfFiller::EndRun(bool keepCurrentSlot) {
  for (int slot = 0; slot < kSlotCount; ++slot)
    DropConsumers(slot);
  played_ = 0;
  endedSlot_ = -1;
  ResetSwitchCount();
  if (!keepCurrentSlot) current_ = 0;
}

void HalfFiller::WaitForSwitchesAfterSound(std::unique_lock<std::mutex>& engineLock,
                                           std::int64_t count,
                                           std::chrono::steady_clock::time_point deadline) {
  if (lastSoundSwitch_ < 0) return;
  const std::int64_t target = lastSoundSwitch_ + count;
  switched_.wait_until(engineLock, deadline, [&] { return switches_ >= target; });
}

// ---------------------------------------------------------- buffer switch

std::optional<TrackEnd> HalfFiller::BufferSwitch(std::int32_t half) {
  ++switches_;
  const int ended = current_;
  Slot& slot = slots_[ended];
  const bool playing = slot.endPhase == EndPhase::kPlaying;
  // Starving: some channel has nothing queued, so none takes a new chunk
  // and the channels stay in step.
  const int channels = device_.outputBuffers();
  const bool starving = queues_.AnyEmpty(ended, channels);
  const std::uint8_t silence = SilenceByte(ended);
  bool reachedEnd = false;
  bool wroteSamples = false;

  for (int i = 0; i < channels; ++i) {
    const AsioBufferInfo& buffer = device_.buffer(i);
    if (buffer.channelNum >= kMaxOutputChannels) continue;
    auto* destination = static_cast<std::uint8_t*>(buffer.buffers[half]);
    if (destination == nullptr) continue;
    const SampleTypeConverter* converter = device_.converter(i);
    const std::size_t bytes = device_.HalfBytes(i);
    const bool last = i == channels - 1;
    std::size_t filled = 0;
    if (playing && converter != nullptr &&
        FillChannel(i, destination, bytes, last, starving, filled) && last) {
      reachedEnd = true;
    }
    // The rest of the half idles, in a DoP stream with the markers going on.
    WriteIdle(i, destination, filled, bytes, silence, dopOutPhase_);
    if (last && filled > 0) wroteSamples = true;
  }
  if (device_.postOutput()) HostOutputReady();
  if (wroteSamples) lastSoundSwitch_ = switches_;
  // The next half's first frame follows this half's last.
  dopOutPhase_ = (dopOutPhase_ + static_cast<std::uint32_t>(device_.preferredSize())) & 1;

  if (reachedEnd) {
    slot.deviceRate = 0;
    std::fill(std::begin(slot.channelActive), std::end(slot.channelActive), false);
    slot.endPhase = EndPhase::kCountingDown;
    if (OtherSlotJoins(ended)) {
      slot.switchesToEndMessage = 1;
      slot.endKind = TrackEnd::kOtherSlotTookOver;
      current_ = 1 - ended;
    } else {
      slot.endKind = TrackEnd::kPlaybackStops;
      slot.switchesToEndMessage = device_.postOutput() ? 1 : 2;
    }
    endedSlot_ = ended;
  }
  const std::optional<TrackEnd> end = CountDownToEnd();
  switched_.notify_all();
  return end;
}

std::optional<TrackEnd> HalfFiller::CountDownToEnd() {
  if (endedSlot_ < 0) return std::nullopt;
  Slot& finished = slots_[endedSlot_];
  if (finished.endPhase != EndPhase::kCountingDown || --finished.switchesToEndMessage != 0)
    return std::nullopt;
  finished.endPhase = EndPhase::kEnded;
  if (finished.endKind == TrackEnd::kPlaybackStops) played_ = 0;
  endedSlot_ = -1;
  return finished.endKind;
}

bool HalfFiller::FillChannel(int index, std::uint8_t* destination, std::size_t bytes, bool last,
                             bool starving, std::size_t& filled) {
  const SampleTypeConverter& converter = *device_.converter(index);
  const std::size_t step = BytesPerWrite(converter);
  const int channel = index;
  int slotIndex = current_;
  bool joined = false;
  bool reachedEnd = false;
  std::size_t written = 0;
  std::size_t counted = 0;  // bytes that count as played in the current track

  // Stop when less than one converter write still fits; the idle fill
  // covers the rest.
  while (bytes - written >= step) {
    Consumer& consumer = slots_[slotIndex].consumers[channel];
    if (consumer.chunk == nullptr) {
      if (starving && !joined) break;
      ChunkElement element;
      if (!queues_.TakeChunk(slotIndex, channel, element)) break;
      if (element.data == nullptr) {  // the end of the slot's track
        reachedEnd = true;
        if (last) queues_.FlushSlot(slotIndex);
        if (joined || !OtherSlotJoins(slotIndex)) break;
        slotIndex = 1 - slotIndex;
        joined = true;
        if (last) {
          played_ = 0;
          counted = 0;
        }
        continue;
      }
      if (element.bytes == 0) {
        queues_.Release(element.data);
        continue;
      }
      consumer = Consumer{element.data, 0, element.bytes};
    }
    const std::size_t samples =
        std::min<std::size_t>(consumer.bytesLeft / 4, (bytes - written) / step);
    if (samples == 0) {  // a chunk tail shorter than one sample
      queues_.Release(consumer.chunk);
      consumer = Consumer{};
      continue;
    }
    const auto* words =
        reinterpret_cast<const std::uint32_t*>(consumer.chunk + consumer.readOffset);
    // A DoP word takes the marker of its place in the output stream.
    const std::size_t out =
        dopStream_ ? WriteStampedDop(converter, destination + written, words, samples,
                                     dopOutPhase_ + static_cast<std::uint32_t>(written / step))
                   : converter.writeRun(destination + written, words, samples);
    written += out;
    counted += out;
    consumer.readOffset += static_cast<std::uint32_t>(samples * 4);
    consumer.bytesLeft -= static_cast<std::uint32_t>(samples * 4);
    if (consumer.bytesLeft < 4) {
      queues_.Release(consumer.chunk);
      consumer = Consumer{};
    }
  }
  if (last) played_ += static_cast<std::int64_t>(counted * 8 / converter.bits);
  filled = written;
  return reachedEnd;
}

void HalfFiller::WriteIdle(int index, std::uint8_t* destination, std::size_t from,
                           std::size_t bytes, std::uint8_t silence, std::uint32_t phase) const {
  if (from >= bytes) return;
  const SampleTypeConverter* converter = device_.converter(index);
  if (converter == nullptr || !dopStream_) {
    std::memset(destination + from, converter != nullptr ? silence : 0, bytes - from);
    return;
  }
  WriteDopIdle(*converter, destination, from, bytes, phase);
}

bool HalfFiller::NextHalfReady() const {
  const Slot& slot = slots_[current_];
  if (slot.endPhase != EndPhase::kPlaying) return true;
  // Every channel needs a whole half: what its consumer still holds and
  // what is queued behind it, or the end of the track.
  for (int i = 0; i < device_.outputBuffers() && i < kMaxOutputChannels; ++i) {
    const SampleTypeConverter* converter = device_.converter(i);
    if (converter == nullptr) continue;
    const std::size_t needed = device_.HalfBytes(i) / BytesPerWrite(*converter) * 4;
    const std::size_t held = slot.consumers[i].chunk != nullptr ? slot.consumers[i].bytesLeft : 0;
    if (held < needed && !queues_.Covers(current_, i, needed - held)) return false;
  }
  return true;
}

}  // namespace output
