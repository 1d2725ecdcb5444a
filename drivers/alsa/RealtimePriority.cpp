#include "drivers/alsa/RealtimePriority.h"

#include <dbus/dbus.h>
#include <pthread.h>
#include <sched.h>
#include <sys/resource.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <mutex>
#include <optional>

namespace {

constexpr char kService[] = "org.freedesktop.RealtimeKit1";
constexpr char kObject[] = "/org/freedesktop/RealtimeKit1";
constexpr char kInterface[] = "org.freedesktop.RealtimeKit1";
// Where the system bus is when DBUS_SYSTEM_BUS_ADDRESS does not say.
constexpr char kDefaultSystemBus[] = "unix:path=/var/run/dbus/system_bus_socket";
// Each call's bound, the bus's Hello included: a bus that accepts but never
// answers holds the writer's start for seconds, not libdbus's 25.
constexpr int kCallTimeoutMs = 1000;

// Private connections only: closing a shared one would make libdbus exit.
struct ConnectionCloser {
  void operator()(DBusConnection* connection) const {
    dbus_connection_close(connection);
    dbus_connection_unref(connection);
  }
};
using Connection = std::unique_ptr<DBusConnection, ConnectionCloser>;

struct MessageReleaser {
  void operator()(DBusMessage* message) const { dbus_message_unref(message); }
};
using Message = std::unique_ptr<DBusMessage, MessageReleaser>;

class BusError {
 public:
  BusError() { dbus_error_init(&error_); }
  ~BusError() { dbus_error_free(&error_); }
  BusError(const BusError&) = delete;
  BusError& operator=(const BusError&) = delete;

  DBusError* get() { return &error_; }
  std::string Text() const {
    if (!dbus_error_is_set(&error_)) return "no answer";
    return error_.message != nullptr ? error_.message : error_.name;
  }

 private:
  DBusError error_;
};

// The reply to `call`, or null with `refusal` saying why (an error reply,
// the timeout, a lost connection).
Message Call(DBusConnection* connection, DBusMessage* call, std::string& refusal) {
  BusError error;
  Message reply(
      dbus_connection_send_with_reply_and_block(connection, call, kCallTimeoutMs, error.get()));
  if (!reply) refusal = error.Text();
  return reply;
}

// A private connection to the system bus, introduced to it with Hello.
Connection ConnectToSystemBus(std::string& refusal) {
  const char* address = std::getenv("DBUS_SYSTEM_BUS_ADDRESS");
  BusError error;
  Connection connection(dbus_connection_open_private(
      address != nullptr && *address != '\0' ? address : kDefaultSystemBus, error.get()));
  if (!connection) {
    refusal = error.Text();
    return nullptr;
  }
  // A bus that goes away ends the request, never the process.
  dbus_connection_set_exit_on_disconnect(connection.get(), FALSE);
  Message hello(dbus_message_new_method_call(DBUS_SERVICE_DBUS, DBUS_PATH_DBUS, DBUS_INTERFACE_DBUS,
                                             "Hello"));
  if (!hello || !Call(connection.get(), hello.get(), refusal)) return nullptr;
  return connection;
}

// One of the service's integer properties (RealtimeKit has them as int32
// and int64).
std::optional<int64_t> ReadIntegerProperty(DBusConnection* connection, const char* name,
                                           std::string& refusal) {
  Message call(dbus_message_new_method_call(kService, kObject, DBUS_INTERFACE_PROPERTIES, "Get"));
  const char* interface = kInterface;
  if (!call || !dbus_message_append_args(call.get(), DBUS_TYPE_STRING, &interface, DBUS_TYPE_STRING,
                                         &name, DBUS_TYPE_INVALID)) {
    refusal = "out of memory";
    return std::nullopt;
  }
  const Message reply = Call(connection, call.get(), refusal);
  if (!reply) return std::nullopt;
  DBusMessageIter arguments;
  DBusMessageIter variant;
  if (dbus_message_iter_init(reply.get(), &arguments) &&
      dbus_message_iter_get_arg_type(&arguments) == DBUS_TYPE_VARIANT) {
    dbus_message_iter_recurse(&arguments, &variant);
    if (dbus_message_iter_get_arg_type(&variant) == DBUS_TYPE_INT32) {
      dbus_int32_t value = 0;
      dbus_message_iter_get_basic(&variant, &value);
      return value;
    }
    if (dbus_message_iter_get_arg_type(&variant) == DBUS_TYPE_INT64) {
      dbus_int64_t value = 0;
      dbus_message_iter_get_basic(&variant, &value);
      return value;
    }
  }
  refusal = std::string("RealtimeKit's ") + name + " is not an integer";
  return std::nullopt;
}

// RLIMIT_RTTIME, soft and hard, no higher than `most` microseconds; a lower
// limit already set stays.
bool LimitRealtimeTime(rlim_t most) {
  rlimit limit{};
  if (getrlimit(RLIMIT_RTTIME, &limit) != 0) return false;
  limit.rlim_max = std::min(limit.rlim_max, most);
  limit.rlim_cur = std::min(limit.rlim_cur, limit.rlim_max);
  return setrlimit(RLIMIT_RTTIME, &limit) == 0;
}

bool SetSchedFifo(int priority) {
  sched_param param{};
  param.sched_priority = priority;
  return pthread_setschedparam(pthread_self(), SCHED_FIFO, &param) == 0;
}

}  // namespace

RealtimeResult RaiseThreadToRealtime(int wanted) {
  if (SetSchedFifo(wanted)) return {RealtimeRoute::kSchedFifo, wanted, {}};
  rlimit limit{};
  if (getrlimit(RLIMIT_RTPRIO, &limit) == 0 && limit.rlim_cur > 0) {
    const int allowed = static_cast<int>(std::min<rlim_t>(limit.rlim_cur, wanted));
    if (SetSchedFifo(allowed)) return {RealtimeRoute::kSchedFifo, allowed, {}};
  }
  return RequestRealtimeKit(wanted);
}

RealtimeResult RequestRealtimeKit(int wanted) {
  RealtimeResult result;
  const Connection connection = ConnectToSystemBus(result.refusal);
  if (!connection) return result;
  const std::optional<int64_t> maxPriority =
      ReadIntegerProperty(connection.get(), "MaxRealtimePriority", result.refusal);
  if (!maxPriority) return result;
  const std::optional<int64_t> maxRealtimeTime =
      ReadIntegerProperty(connection.get(), "RTTimeUSecMax", result.refusal);
  if (!maxRealtimeTime) return result;
  const int priority = static_cast<int>(std::min<int64_t>(wanted, *maxPriority));
  if (priority < 1 || *maxRealtimeTime <= 0) {
    result.refusal = "RealtimeKit grants no real-time priority";
    return result;
  }
  if (!LimitRealtimeTime(static_cast<rlim_t>(*maxRealtimeTime))) {
    result.refusal = std::string("RLIMIT_RTTIME not set: ") + std::strerror(errno);
    return result;
  }

  Message call(dbus_message_new_method_call(kService, kObject, kInterface, "MakeThreadRealtime"));
  const dbus_uint64_t thread = static_cast<dbus_uint64_t>(gettid());
  const dbus_uint32_t requested = static_cast<dbus_uint32_t>(priority);
  if (!call || !dbus_message_append_args(call.get(), DBUS_TYPE_UINT64, &thread, DBUS_TYPE_UINT32,
                                         &requested, DBUS_TYPE_INVALID)) {
    result.refusal = "out of memory";
    return result;
  }
  if (!Call(connection.get(), call.get(), result.refusal)) return result;
  return {RealtimeRoute::kRealtimeKit, priority, {}};
}

std::string WriterPriorityLine(const RealtimeResult& result) {
  switch (result.route) {
    case RealtimeRoute::kSchedFifo:
      return "quorelle: ALSA writer at real-time priority " + std::to_string(result.priority) +
             " (SCHED_FIFO)";
    case RealtimeRoute::kRealtimeKit:
      return "quorelle: ALSA writer at real-time priority " + std::to_string(result.priority) +
             " (RealtimeKit)";
    case RealtimeRoute::kNone:
      break;
  }
  std::string line =
      "quorelle: ALSA writer at normal priority: real-time scheduling refused and RealtimeKit "
      "not available";
  if (!result.refusal.empty()) line += " (" + result.refusal + ")";
  return line;
}

void RaiseWriterThreadToRealtime(int wanted) {
  const RealtimeResult result = RaiseThreadToRealtime(wanted);
  static std::once_flag logged;
  std::call_once(logged,
                 [&result] { std::fprintf(stderr, "%s\n", WriterPriorityLine(result).c_str()); });
}
