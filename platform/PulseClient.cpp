#include "platform/PulseClient.h"

#include <map>
#include <memory>

namespace platform {
namespace {

struct ProplistFree {
  void operator()(pa_proplist* list) const { pa_proplist_free(list); }
};
using Proplist = std::unique_ptr<pa_proplist, ProplistFree>;

// What the two introspection requests of ListSinks collect.
struct SinkListing {
  struct Sink {
    PulseSink sink;
    uint32_t card = PA_INVALID_INDEX;
    Proplist properties;
  };
  std::vector<Sink> sinks;
  std::map<uint32_t, Proplist> cards;
  bool failed = false;
};

void OnSink(pa_context*, const pa_sink_info* info, int eol, void* data) {
  auto& listing = *static_cast<SinkListing*>(data);
  if (eol < 0) listing.failed = true;
  if (info == nullptr) return;
  SinkListing::Sink entry;
  entry.sink.name = info->name != nullptr ? info->name : "";
  entry.sink.description = info->description != nullptr && *info->description != '\0'
                               ? info->description
                               : entry.sink.name;
  entry.sink.spec = info->sample_spec;
  entry.sink.channelMap = info->channel_map;
  entry.card = info->card;
  entry.properties.reset(pa_proplist_copy(info->proplist));
  listing.sinks.push_back(std::move(entry));
}

void OnCard(pa_context*, const pa_card_info* info, int eol, void* data) {
  auto& listing = *static_cast<SinkListing*>(data);
  if (eol < 0) listing.failed = true;
  if (info != nullptr) listing.cards[info->index].reset(pa_proplist_copy(info->proplist));
}

bool Finished(pa_operation* operation) {
  return operation == nullptr || pa_operation_get_state(operation) != PA_OPERATION_RUNNING;
}

void OnOperationDone(pa_operation*, void* client) {
  static_cast<PulseClient*>(client)->Signal();
}

}  // namespace

pa_usec_t PulseDeadline(std::chrono::milliseconds timeout) {
  return pa_rtclock_now() + static_cast<pa_usec_t>(timeout.count()) * PA_USEC_PER_MSEC;
}

PulseClient::~PulseClient() {
  if (mainloop_ == nullptr) return;
  // The mainloop thread (if it ever started) ends first; then nothing else
  // touches the context.
  pa_threaded_mainloop_stop(mainloop_);
  if (context_ != nullptr) {
    pa_context_set_state_callback(context_, nullptr, nullptr);
    pa_context_disconnect(context_);
    pa_context_unref(context_);
  }
  pa_threaded_mainloop_free(mainloop_);
}

bool PulseClient::Connect(std::chrono::milliseconds timeout) {
  if (mainloop_ != nullptr) return IsConnected();
  mainloop_ = pa_threaded_mainloop_new();
  if (mainloop_ == nullptr) return false;
  context_ = pa_context_new(pa_threaded_mainloop_get_api(mainloop_), "Quorelle Player");
  if (context_ == nullptr) return false;
  pa_context_set_state_callback(context_, &PulseClient::OnContextState, this);
  if (pa_context_connect(context_, nullptr, PA_CONTEXT_NOAUTOSPAWN, nullptr) < 0) return false;
  if (pa_threaded_mainloop_start(mainloop_) < 0) return false;
  Lock lock(*this);
  Wait(
      [this] {
        const pa_context_state_t state = pa_context_get_state(context_);
        return state == PA_CONTEXT_READY || !PA_CONTEXT_IS_GOOD(state);
      },
      PulseDeadline(timeout));
  return pa_context_get_state(context_) == PA_CONTEXT_READY;
}

bool PulseClient::IsConnected() {
  if (mainloop_ == nullptr || context_ == nullptr) return false;
  Lock lock(*this);
  return pa_context_get_state(context_) == PA_CONTEXT_READY;
}

std::optional<std::vector<PulseSink>> PulseClient::ListSinks(std::chrono::milliseconds timeout) {
  if (!IsConnected()) return std::nullopt;
  SinkListing listing;
  Lock lock(*this);
  pa_operation* sinks = pa_context_get_sink_info_list(context_, OnSink, &listing);
  pa_operation* cards = pa_context_get_card_info_list(context_, OnCard, &listing);
  for (pa_operation* operation : {sinks, cards}) {
    if (operation != nullptr) pa_operation_set_state_callback(operation, OnOperationDone, this);
  }
  const bool done =
      Wait([&] { return Finished(sinks) && Finished(cards); }, PulseDeadline(timeout));
  bool complete = done && sinks != nullptr && cards != nullptr && !listing.failed;
  for (pa_operation* operation : {sinks, cards}) {
    if (operation == nullptr) continue;
    complete = complete && pa_operation_get_state(operation) == PA_OPERATION_DONE;
    // A request still running when time is up must not call back into the
    // listing after it is gone.
    if (pa_operation_get_state(operation) == PA_OPERATION_RUNNING) pa_operation_cancel(operation);
    pa_operation_unref(operation);
  }
  if (!complete) return std::nullopt;

  std::vector<PulseSink> result;
  result.reserve(listing.sinks.size());
  for (auto& entry : listing.sinks) {
    const auto card = listing.cards.find(entry.card);
    entry.sink.hardwareId =
        PulseHardwareId(entry.sink.name, entry.properties.get(),
                        card != listing.cards.end() ? card->second.get() : nullptr);
    result.push_back(std::move(entry.sink));
  }
  return result;
}

PulseClient::Lock::Lock(PulseClient& client) : mainloop_(client.mainloop_) {
  pa_threaded_mainloop_lock(mainloop_);
}

PulseClient::Lock::~Lock() {
  pa_threaded_mainloop_unlock(mainloop_);
}

bool PulseClient::Wait(const std::function<bool()>& done, pa_usec_t deadline) {
  if (done()) return true;
  // A timer on the mainloop wakes the wait when time is up.
  pa_time_event* timer = pa_context_rttime_new(
      context_, deadline,
      [](pa_mainloop_api*, pa_time_event*, const struct timeval*, void* self) {
        static_cast<PulseClient*>(self)->Signal();
      },
      this);
  bool result = true;
  while (!done()) {
    if (pa_rtclock_now() >= deadline) {
      result = false;
      break;
    }
    pa_threaded_mainloop_wait(mainloop_);
  }
  if (timer != nullptr) pa_threaded_mainloop_get_api(mainloop_)->time_free(timer);
  return result;
}

void PulseClient::WaitForSignal() {
  pa_threaded_mainloop_wait(mainloop_);
}

void PulseClient::Signal() {
  pa_threaded_mainloop_signal(mainloop_, 0);
}

void PulseClient::OnContextState(pa_context*, void* self) {
  static_cast<PulseClient*>(self)->Signal();
}

std::optional<std::vector<PulseSink>> ListPulseSinks(std::chrono::milliseconds timeout) {
  PulseClient client;
  if (!client.Connect(timeout)) return std::nullopt;
  return client.ListSinks(timeout);
}

}  // namespace platform
