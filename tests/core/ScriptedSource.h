#pragma once

#include <cstring>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "platform/Event.h"
#include "sources/MusicData.h"
#include "tests/fixtures/WavWriter.h"

namespace playertest {

// What scripted sources did, in order, across threads: "<name>:<chunk>".
class ReadLog {
 public:
  void Add(std::string entry) {
    std::lock_guard lock(mutex_);
    entries_.push_back(std::move(entry));
  }
  std::vector<std::string> Entries() const {
    std::lock_guard lock(mutex_);
    return entries_;
  }

 private:
  mutable std::mutex mutex_;
  std::vector<std::string> entries_;
};

// A 16-bit stereo 44.1 kHz source that delivers `chunks` chunks of
// `chunkBytes` pattern bytes. It can hold a read until `gate` is set, and
// fail a read with a result code.
struct SourceScript {
  std::string name = "source";
  std::uint32_t chunks = 4;
  std::uint32_t chunkBytes = 4096;
  std::uint32_t seed = 1;
  // Read number `gateAt` (from 0) sets `entered` and waits for the gate.
  int gateAt = -1;
  std::shared_ptr<platform::Event> gate;
  std::shared_ptr<platform::Event> entered;
  // Read number `failAt` answers `failure` instead of a chunk.
  int failAt = -1;
  std::int32_t failure = kMusicErrRead;
  std::int32_t openResult = kMusicOk;
  std::shared_ptr<ReadLog> log;

  fixtures::Bytes Audio() const {
    return fixtures::AudioPattern(std::size_t{chunks} * chunkBytes, seed);
  }
};

class ScriptedSource : public CMusicData {
 public:
  explicit ScriptedSource(SourceScript script)
      : script_(std::move(script)), audio_(script_.Audio()) {}

  std::int32_t Open(const MusicOpenParams& params) override {
    path_ = params.path;
    return script_.openResult;
  }
  std::int32_t GetTrackInfo(std::int32_t index, TrackInfo* info) override {
    if (index != 0) return kMusicErrParam;
    info->path = path_;
    info->type = kSourceTypeWave;
    info->format = WAVEFORMATEX{1, 2, 44100, 176400, 4, 16, 0};
    info->totalBytes = static_cast<std::uint32_t>(audio_.size());
    info->length = static_cast<std::uint32_t>(audio_.size() * 75 / 176400);
    info->start = 0;
    info->end = info->length > 0 ? info->length - 1 : 0;
    return kMusicOk;
  }
  std::int32_t Read(void** data, std::uint32_t* size) override {
    *data = nullptr;
    *size = 0;
    const int index = reads_++;
    if (index == script_.gateAt && script_.gate) {
      if (script_.entered) script_.entered->Set();
      script_.gate->Wait();
    }
    if (index == script_.failAt) return script_.failure;
    if (static_cast<std::uint32_t>(index) >= script_.chunks) return kMusicEndOfRange;
    if (script_.log) script_.log->Add(script_.name + ":" + std::to_string(index));
    void* buffer = AllocBuffer(script_.chunkBytes);
    std::memcpy(buffer, audio_.data() + std::size_t{script_.chunkBytes} * index,
                script_.chunkBytes);
    *data = buffer;
    *size = script_.chunkBytes;
    return kMusicOk;
  }

 private:
  SourceScript script_;
  fixtures::Bytes audio_;
  std::wstring path_;
  int reads_ = 0;
};

}  // namespace playertest
