#pragma once

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <mutex>
#include <optional>

#include "output/ChunkQueues.h"

namespace output {

class DeviceSession;

// How a track ended, posted as the TM_TRACK_END wParam.
enum class TrackEnd : std::intptr_t { kOtherSlotTookOver = 0, kPlaybackStops = 1 };

// What the driver's buffer switch does: fills one half of every output
// buffer of the device from the per-channel chunk queues of the current
// track slot, converting the chunks into the device's sample type, and at
// the end of a track goes on inside the same half with the other slot's
// track when it joins (same rate and kind). It keeps the two slots as they
// play (kind, device rate, gapless join, where each channel reads in its
// chunk, how far the end has come), the samples played, the DoP marker
// phase of the output and the count of buffer switches the drain waits on.
//
// A DSD track sent as DSD over PCM (DoP) is one stream of DoP words from the
// start of the device to its stop: every word written, data or idle, takes
// the marker of its place in the stream (all channels alike in one frame),
// so the prefill, starving halves, the rest of a track's last half, the
// halves after the end and channels without data are DoP idle words and the
// markers never break their alternation.
//
// Every call is made with the engine lock held (BufferSwitch and
// NextHalfReady on the driver's thread, the rest on the playback thread or
// the feeder's), except played(). It takes the chunk-queue lock inside,
// never waits but in WaitForSwitchesAfterSound, and allocates nothing.
class HalfFiller {
 public:
  HalfFiller(ChunkQueues& queues, const DeviceSession& device);
  HalfFiller(const HalfFiller&) = delete;
  HalfFiller& operator=(const HalfFiller&) = delete;

  // The slots.
  int currentSlot() const { return current_; }
  bool isDsd(int slot) const { return slots_[slot].isDsd; }
  double deviceRate(int slot) const { return slots_[slot].deviceRate; }
  // `slot` plays a new track from its start.
  void PrepareSlot(int slot, bool isDsd, double deviceRate, bool gaplessJoin);
  // No slot joins onto the one playing at the end of its track.
  void CancelJoins();
  // The chunks the slot's channels are reading go back to the pool.
  void DropConsumers(int slot);
  // The I/O format of a slot in the decode mode of the run: 1 native DSD,
  // 0 PCM (DoP included).
  std::int32_t DsdMode(int slot) const;
  // A DSD track of a DoP decode mode: its words are DoP words.
  bool IsDop(int slot) const;
  // The byte that fills a slot's chunks and halves with silence.
  std::uint8_t SilenceByte(int slot) const;

  // A run, from one start of the device to its stop. Takes the settings'
  // decode mode for it; the run is a DoP stream when the current slot is.
  void BeginRun(std::int32_t decodeMode);
  std::int32_t decodeMode() const { return decodeMode_; }
  bool dopStream() const { return dopStream_; }
  // Counts buffer switches from 0 again, none with samples yet.
  void ResetSwitchCount();
  // Writes idle signal into both halves of the current slot's channels: a
  // DoP stream begins at phase 0 with half 0.
  void Prefill();
  // The driver asks for half `half` (0 or 1): fills it on every buffer, and
  // counts the switch. The end of a track when this switch is the one that
  // posts it (a switch after its last samples, when the device does not
  // take output-ready).
  std::optional<TrackEnd> BufferSwitch(std::int32_t half);
  // Whether the next buffer switch has the current slot's audio queued (or
  // the slot has ended): the answer to a device that waits for its host.
  bool NextHalfReady() const;
  // The run stopped: the consumers' chunks go back, nothing is played, no
  // track is ending, no switch is counted; the current slot is slot 0
  // again unless `keepCurrentSlot`.
  void EndRun(bool keepCurrentSlot);

  // Waits, with the engine lock held in `engineLock`, until `count` buffer
  // switches have come after the last one that wrote samples, at most
  // until `deadline`; returns at once when none wrote samples since the
  // count was reset.
  void WaitForSwitchesAfterSound(std::unique_lock<std::mutex>& engineLock, std::int64_t count,
                                 std::chrono::steady_clock::time_point deadline);

  // The samples of the current track the device was given, counted on the
  // last channel; any thread.
  std::int64_t played() const { return played_; }
  void SetPlayed(std::int64_t samples) { played_ = samples; }

 private:
  struct Consumer {
    std::uint8_t* chunk = nullptr;
    std::uint32_t readOffset = 0;
    std::uint32_t bytesLeft = 0;
  };
  // Where a slot's track is: playing; ended, with switchesToEndMessage
  // buffer switches left before its end is posted; ended and posted.
  enum class EndPhase { kPlaying, kCountingDown, kEnded };
  struct Slot {
    bool isDsd = false;
    bool gaplessJoin = false;
    double deviceRate = 0;
    EndPhase endPhase = EndPhase::kPlaying;
    std::int32_t switchesToEndMessage = 0;
    TrackEnd endKind = TrackEnd::kOtherSlotTookOver;
    bool channelActive[kMaxOutputChannels] = {};
    Consumer consumers[kMaxOutputChannels];
  };

  // Fills one half of buffer `index` from its channel's queue; true when the
  // channel reached the end of the current slot's track. `filled` is the
  // bytes of samples written from the half's start.
  bool FillChannel(int index, std::uint8_t* destination, std::size_t bytes, bool last,
                   bool starving, std::size_t& filled);
  // Writes the idle signal of buffer `index` into bytes [from, bytes) of a
  // half whose first frame has DoP phase `phase`: DoP idle words through the
  // channel's converter in a DoP stream, else `silence` bytes; zeros for a
  // channel without a converter.
  void WriteIdle(int index, std::uint8_t* destination, std::size_t from, std::size_t bytes,
                 std::uint8_t silence, std::uint32_t phase) const;
  bool OtherSlotJoins(int slot) const;
  // Counts down the switches to the end message of a track that ended; its
  // end when this switch posts it.
  std::optional<TrackEnd> CountDownToEnd();

  ChunkQueues& queues_;
  const DeviceSession& device_;

  Slot slots_[kSlotCount];
  int current_ = 0;
  int endedSlot_ = -1;
  std::int32_t decodeMode_ = 0;
  // The run is a DoP stream, and the DoP phase of the first frame of the
  // next half to fill.
  bool dopStream_ = false;
  std::uint32_t dopOutPhase_ = 0;
  std::atomic<std::int64_t> played_{0};
  // Buffer switches since the count was reset, and the last one that wrote
  // samples (-1: none); switched_ is notified after every switch.
  std::int64_t switches_ = 0;
  std::int64_t lastSoundSwitch_ = -1;
  std::condition_variable switched_;
};

}  // namespace output
