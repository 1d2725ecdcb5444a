#pragma once

#include <dlfcn.h>

#include <condition_variable>
#include <cstring>
#include <deque>
#include <memory>
#include <mutex>

#include "output/AsioHost.h"
#include "output/AsioWrapper.h"
#include "output/EngineSettings.h"
#include "output/PlaybackMessages.h"
#include "output/WaveDataPlay.h"
#include "platform/ThreadMessageQueue.h"
#include "tests/output/AsioTestSupport.h"

namespace enginetest {

using fixtures::Bytes;

// Blocks handed to the feeder in order, each for its slot, each one
// announced on the arrival event; tells the test when the feeder asked for
// more and found nothing, so all it was given is queued.
class TestBlocks : public IBlockSource {
 public:
  void Add(std::uint32_t slot, Bytes data, std::uint32_t formatCode, std::uint32_t channels,
           std::uint32_t rate) {
    {
      std::lock_guard lock(mutex_);
      blocks_.push_back({slot, std::move(data), formatCode, channels, rate});
      drained_ = false;
    }
    arrival_->Set();
  }
  void End(std::uint32_t slot) { Add(slot, {}, output::kFormatPcm16, 2, 44100); }

  std::uint32_t PopBlock(output::BlockDescription* block, std::vector<std::uint8_t>* buffer,
                         std::uint32_t slot) override {
    std::lock_guard lock(mutex_);
    if (blocks_.empty() || blocks_.front().slot != slot) {
      drained_ = true;
      drainedChanged_.notify_all();
      return 1;
    }
    Entry entry = std::move(blocks_.front());
    blocks_.pop_front();
    drainedChanged_.notify_all();
    *buffer = entry.data;
    *block = output::BlockDescription{entry.data.empty() ? nullptr : buffer->data(),
                                      static_cast<std::uint32_t>(entry.data.size()),
                                      entry.formatCode,
                                      entry.channels,
                                      entry.rate,
                                      entry.slot};
    return 0;
  }
  std::shared_ptr<platform::Event> BlockArrival() override { return arrival_; }

  // Waits until the feeder has taken every block given, without waking it.
  bool WaitTaken() {
    std::unique_lock lock(mutex_);
    return drainedChanged_.wait_for(lock, std::chrono::seconds(10),
                                    [this] { return blocks_.empty(); });
  }

  // Waits until the feeder has taken everything it can: it is woken to ask
  // again (after a flush request, say) and this waits for its answer.
  bool WaitDrained() {
    std::unique_lock lock(mutex_);
    drained_ = false;
    arrival_->Set();
    return drainedChanged_.wait_for(lock, std::chrono::seconds(10), [this] { return drained_; });
  }

 private:
  struct Entry {
    std::uint32_t slot;
    Bytes data;
    std::uint32_t formatCode, channels, rate;
  };
  std::mutex mutex_;
  std::condition_variable drainedChanged_;
  const std::shared_ptr<platform::Event> arrival_ = std::make_shared<platform::Event>(false);
  std::deque<Entry> blocks_;
  bool drained_ = false;
};

class TestPosition : public IPositionSink {
 public:
  void OnOutputPosition(std::uint32_t seconds) override {
    std::lock_guard lock(mutex_);
    reported.push_back(seconds);
  }
  std::mutex mutex_;
  std::vector<std::uint32_t> reported;
};

using StepFn = int32_t (*)(int32_t);
inline StepFn VirtualDacStep() {
  static void* module = dlopen(QP_VIRTUAL_DAC_LIB, RTLD_NOW | RTLD_LOCAL);
  return module ? reinterpret_cast<StepFn>(dlsym(module, "QP_VirtualDac_Step")) : nullptr;
}

// An engine playing on a virtual DAC with a manual clock and a capture, or
// on any other driver library registered as "Device".
class EngineHarness {
 public:
  explicit EngineHarness(const std::string& dacSettings, std::int32_t decodeMode = kDecodeNative) {
    registry.Add("dac.ini", "Virtual", asiotest::kClassA, asiotest::kVirtualDac,
                 "Clock=manual\nCapture=" + registry.File("cap") + "\n" + dacSettings);
    Start(L"Virtual", decodeMode);
  }
  EngineHarness(const std::string& driverLibrary, const std::string& driverSettings,
                std::int32_t decodeMode) {
    registry.Add("device.ini", "Device", asiotest::kClassA, driverLibrary, driverSettings);
    Start(L"Device", decodeMode);
  }
  ~EngineHarness() {
    engine.reset();
    SetEngineSettings({});
  }

  // Plays `halves` buffer switches.
  void Step(int halves) { VirtualDacStep()(halves); }

  Bytes Capture(int channel) {
    return fixtures::ReadFile(registry.File("cap") + "." + std::to_string(channel) + ".raw");
  }
  std::string Log() {
    const Bytes log = fixtures::ReadFile(registry.File("cap.log"));
    return std::string(log.begin(), log.end());
  }
  std::vector<platform::ThreadMessage> Messages() {
    std::vector<platform::ThreadMessage> out;
    while (auto message = messages->TryTake())
      out.push_back(*message);
    return out;
  }

  asiotest::DriverRegistry registry;
  std::shared_ptr<CAsioWrapperImpl> binding = CAsioWrapperImpl::Create(L"/nonexistent");
  std::shared_ptr<platform::ThreadMessageQueue> messages =
      std::make_shared<platform::ThreadMessageQueue>();
  std::shared_ptr<TestBlocks> blocks = std::make_shared<TestBlocks>();
  std::shared_ptr<TestPosition> position = std::make_shared<TestPosition>();
  std::unique_ptr<CWaveDataPlay> engine;

 private:
  void Start(const std::wstring& deviceName, std::int32_t decodeMode) {
    EngineSettings settings;
    settings.deviceName = deviceName;
    settings.decodeMode = decodeMode;
    SetEngineSettings(settings);
    engine = std::make_unique<CWaveDataPlay>(messages, blocks, position);
  }
};

}  // namespace enginetest
