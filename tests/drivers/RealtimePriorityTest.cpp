// The ALSA writer's real-time priority: SCHED_FIFO where the kernel allows
// it, else RealtimeKit on the system bus. The bus is a private dbus-daemon
// of the test's own, configured as a system bus open to anyone, and
// RealtimeKit is a service of the test's own on it (TestRealtimeKit).
#include <dbus/dbus.h>
#include <gtest/gtest.h>
#include <linux/capability.h>
#include <pthread.h>
#include <sched.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/syscall.h>
#include <unistd.h>

#include <cstdlib>
#include <fstream>
#include <memory>
#include <mutex>
#include <ostream>
#include <string>
#include <thread>
#include <vector>

#include "drivers/alsa/RealtimePriority.h"
#include "tests/fixtures/DbusDaemon.h"
#include "tests/fixtures/WavWriter.h"

namespace {

constexpr char kService[] = "org.freedesktop.RealtimeKit1";
constexpr char kObject[] = "/org/freedesktop/RealtimeKit1";
constexpr char kInterface[] = "org.freedesktop.RealtimeKit1";
constexpr int kWanted = 70;  // what the ALSA writer asks for
const std::string kNormalPriorityLine =
    "quorelle: ALSA writer at normal priority: real-time scheduling refused and RealtimeKit not "
    "available";

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

// A private connection to the bus at `address`, registered with it.
Connection Connect(const std::string& address) {
  DBusError error;
  dbus_error_init(&error);
  Connection connection(dbus_connection_open_private(address.c_str(), &error));
  if (connection) {
    dbus_connection_set_exit_on_disconnect(connection.get(), FALSE);
    if (!dbus_bus_register(connection.get(), &error)) connection.reset();
  }
  dbus_error_free(&error);
  return connection;
}

// A bus of the test's own, set up like the system bus but allowing
// everything, on a socket in a temporary folder. While it lives,
// DBUS_SYSTEM_BUS_ADDRESS names it.
class PrivateSystemBus {
 public:
  PrivateSystemBus() {
    const std::string config = dir_.File("system.conf");
    std::ofstream(config) << "<!DOCTYPE busconfig PUBLIC"
                             " \"-//freedesktop//DTD D-Bus Bus Configuration 1.0//EN\""
                             " \"http://www.freedesktop.org/standards/dbus/1.0/busconfig.dtd\">\n"
                             "<busconfig>\n"
                             "  <type>system</type>\n"
                             "  <listen>unix:path="
                          << dir_.File("system_bus_socket")
                          << "</listen>\n"
                             "  <auth>EXTERNAL</auth>\n"
                             "  <policy context=\"default\">\n"
                             "    <allow user=\"*\"/>\n"
                             "    <allow own=\"*\"/>\n"
                             "    <allow send_destination=\"*\"/>\n"
                             "    <allow receive_sender=\"*\"/>\n"
                             "  </policy>\n"
                             "</busconfig>\n";
    daemon_ = std::make_unique<pulsetest::DbusDaemon>(
        std::vector<std::string>{"--config-file=" + config});
    if (daemon_->IsRunning()) setenv("DBUS_SYSTEM_BUS_ADDRESS", daemon_->address().c_str(), 1);
  }
  ~PrivateSystemBus() { unsetenv("DBUS_SYSTEM_BUS_ADDRESS"); }
  PrivateSystemBus(const PrivateSystemBus&) = delete;
  PrivateSystemBus& operator=(const PrivateSystemBus&) = delete;

  bool IsRunning() const { return daemon_->IsRunning(); }
  const std::string& address() const { return daemon_->address(); }

 private:
  fixtures::TempDir dir_;
  std::unique_ptr<pulsetest::DbusDaemon> daemon_;
};

// Points DBUS_SYSTEM_BUS_ADDRESS at a socket that does not exist while it
// lives.
class NoSystemBus {
 public:
  NoSystemBus() {
    setenv("DBUS_SYSTEM_BUS_ADDRESS", ("unix:path=" + dir_.File("none")).c_str(), 1);
  }
  ~NoSystemBus() { unsetenv("DBUS_SYSTEM_BUS_ADDRESS"); }

 private:
  fixtures::TempDir dir_;
};

// RealtimeKit's D-Bus interface on its own connection and thread: the
// MaxRealtimePriority and RTTimeUSecMax properties, MakeThreadRealtime and
// Exit. It judges a request as the real service does: the thread must belong
// to the calling process, the priority be at most MaxRealtimePriority and the
// process's hard RLIMIT_RTTIME at most RTTimeUSecMax; a refusing one denies
// every request, as a policy that does not allow the user. It records each
// request with the limits it saw, and grants by answering: the scheduling of
// the test's threads stays as it was.
class TestRealtimeKit {
 public:
  struct Request {
    uint64_t thread = 0;
    uint32_t priority = 0;
    rlimit realtimeTime{};  // the caller's RLIMIT_RTTIME when it asked
  };

  TestRealtimeKit(const std::string& address, int32_t maxPriority, int64_t maxRealtimeTime,
                  bool refuse)
      : address_(address),
        maxPriority_(maxPriority),
        maxRealtimeTime_(maxRealtimeTime),
        refuse_(refuse),
        connection_(Connect(address)) {
    static const DBusObjectPathVTable vtable{nullptr, &TestRealtimeKit::Handle};
    if (!connection_ ||
        dbus_bus_request_name(connection_.get(), kService, DBUS_NAME_FLAG_DO_NOT_QUEUE, nullptr) !=
            DBUS_REQUEST_NAME_REPLY_PRIMARY_OWNER ||
        !dbus_connection_register_object_path(connection_.get(), kObject, &vtable, this))
      return;
    thread_ = std::thread([this] {
      while (!exit_ && dbus_connection_read_write_dispatch(connection_.get(), -1)) {
      }
    });
  }

  // Ends the service with its own Exit call, from a connection of its own:
  // the service's connection is busy in the service's thread.
  ~TestRealtimeKit() {
    if (!thread_.joinable()) return;
    if (const Connection client = Connect(address_)) {
      Message exit(dbus_message_new_method_call(kService, kObject, kInterface, "Exit"));
      if (DBusMessage* reply =
              dbus_connection_send_with_reply_and_block(client.get(), exit.get(), -1, nullptr))
        dbus_message_unref(reply);
    }
    thread_.join();  // a bus that failed ends the service's loop too
  }
  TestRealtimeKit(const TestRealtimeKit&) = delete;
  TestRealtimeKit& operator=(const TestRealtimeKit&) = delete;

  bool IsServing() const { return thread_.joinable(); }
  std::vector<Request> Requests() const {
    std::lock_guard lock(mutex_);
    return requests_;
  }

 private:
  static DBusHandlerResult Handle(DBusConnection* connection, DBusMessage* call, void* self) {
    auto* kit = static_cast<TestRealtimeKit*>(self);
    Message reply;
    if (dbus_message_is_method_call(call, DBUS_INTERFACE_PROPERTIES, "Get"))
      reply = kit->GetProperty(call);
    else if (dbus_message_is_method_call(call, kInterface, "MakeThreadRealtime"))
      reply = kit->MakeThreadRealtime(connection, call);
    else if (dbus_message_is_method_call(call, kInterface, "Exit")) {
      kit->exit_ = true;
      reply.reset(dbus_message_new_method_return(call));
    } else
      return DBUS_HANDLER_RESULT_NOT_YET_HANDLED;
    dbus_connection_send(connection, reply.get(), nullptr);
    return DBUS_HANDLER_RESULT_HANDLED;
  }

  Message GetProperty(DBusMessage* call) const {
    const char* interface = nullptr;
    const char* name = nullptr;
    if (!dbus_message_get_args(call, nullptr, DBUS_TYPE_STRING, &interface, DBUS_TYPE_STRING, &name,
                               DBUS_TYPE_INVALID) ||
        std::string(interface) != kInterface)
      return Message(dbus_message_new_error(call, DBUS_ERROR_INVALID_ARGS, "no such interface"));
    if (std::string(name) == "MaxRealtimePriority")
      return VariantReply(call, DBUS_TYPE_INT32, static_cast<dbus_int32_t>(maxPriority_));
    if (std::string(name) == "RTTimeUSecMax")
      return VariantReply(call, DBUS_TYPE_INT64, static_cast<dbus_int64_t>(maxRealtimeTime_));
    return Message(dbus_message_new_error(call, DBUS_ERROR_UNKNOWN_PROPERTY, name));
  }

  template <typename T>
  static Message VariantReply(DBusMessage* call, int type, T value) {
    Message reply(dbus_message_new_method_return(call));
    const char signature[] = {static_cast<char>(type), '\0'};
    DBusMessageIter arguments;
    DBusMessageIter variant;
    dbus_message_iter_init_append(reply.get(), &arguments);
    dbus_message_iter_open_container(&arguments, DBUS_TYPE_VARIANT, signature, &variant);
    dbus_message_iter_append_basic(&variant, type, &value);
    dbus_message_iter_close_container(&arguments, &variant);
    return reply;
  }

  Message MakeThreadRealtime(DBusConnection* connection, DBusMessage* call) {
    Request request;
    dbus_uint64_t thread = 0;
    dbus_uint32_t priority = 0;
    if (!dbus_message_get_args(call, nullptr, DBUS_TYPE_UINT64, &thread, DBUS_TYPE_UINT32,
                               &priority, DBUS_TYPE_INVALID))
      return Message(dbus_message_new_error(call, DBUS_ERROR_INVALID_ARGS, "expected (tu)"));
    request.thread = thread;
    request.priority = priority;
    const pid_t caller = CallerProcess(connection, call);
    const bool known =
        caller > 0 && prlimit(caller, RLIMIT_RTTIME, nullptr, &request.realtimeTime) == 0;
    {
      std::lock_guard lock(mutex_);
      requests_.push_back(request);
    }
    struct stat task {};
    const std::string taskPath =
        "/proc/" + std::to_string(caller) + "/task/" + std::to_string(thread);
    const char* refusal = nullptr;
    if (refuse_)
      refusal = "not allowed";
    else if (!known || stat(taskPath.c_str(), &task) != 0)
      refusal = "not a thread of the caller";
    else if (static_cast<int64_t>(priority) > maxPriority_)
      refusal = "priority too high";
    else if (request.realtimeTime.rlim_max > static_cast<rlim_t>(maxRealtimeTime_))
      refusal = "RLIMIT_RTTIME not set";
    if (refusal != nullptr)
      return Message(dbus_message_new_error(call, DBUS_ERROR_ACCESS_DENIED, refusal));
    return Message(dbus_message_new_method_return(call));
  }

  // The process behind the message's sender, as the bus knows it.
  static pid_t CallerProcess(DBusConnection* connection, DBusMessage* call) {
    Message ask(dbus_message_new_method_call(DBUS_SERVICE_DBUS, DBUS_PATH_DBUS, DBUS_INTERFACE_DBUS,
                                             "GetConnectionUnixProcessID"));
    const char* sender = dbus_message_get_sender(call);
    dbus_message_append_args(ask.get(), DBUS_TYPE_STRING, &sender, DBUS_TYPE_INVALID);
    const Message answer(
        dbus_connection_send_with_reply_and_block(connection, ask.get(), -1, nullptr));
    dbus_uint32_t pid = 0;
    if (!answer ||
        !dbus_message_get_args(answer.get(), nullptr, DBUS_TYPE_UINT32, &pid, DBUS_TYPE_INVALID))
      return -1;
    return static_cast<pid_t>(pid);
  }

  const std::string address_;
  const int32_t maxPriority_;
  const int64_t maxRealtimeTime_;
  const bool refuse_;
  Connection connection_;
  bool exit_ = false;  // the service's thread alone
  std::thread thread_;
  mutable std::mutex mutex_;
  std::vector<Request> requests_;
};

// What a call did on a thread of its own (so its thread id is not the
// process id): the result, the thread's id and its scheduling afterwards.
struct OnItsThread {
  RealtimeResult result;
  pid_t thread = 0;
  int policy = -1;
  int priority = -1;
};

template <typename Call>
OnItsThread RunOnItsOwnThread(Call call) {
  OnItsThread seen;
  std::thread thread([&] {
    seen.thread = gettid();
    seen.result = call();
    sched_param param{};
    pthread_getschedparam(pthread_self(), &seen.policy, &param);
    seen.priority = param.sched_priority;
  });
  thread.join();
  return seen;
}

// Capabilities are per thread: without CAP_SYS_NICE in its effective set the
// calling thread gets SCHED_FIFO only as far as RLIMIT_RTPRIO allows, as an
// ordinary user does. True when the thread now holds it as asked (one that
// never had it cannot be given it).
bool SetSysNice(bool held) {
  __user_cap_header_struct header{_LINUX_CAPABILITY_VERSION_3, 0};
  __user_cap_data_struct data[_LINUX_CAPABILITY_U32S_3] = {};
  if (syscall(SYS_capget, &header, data) != 0) return false;
  uint32_t& effective = data[CAP_TO_INDEX(CAP_SYS_NICE)].effective;
  if (held) return (effective & CAP_TO_MASK(CAP_SYS_NICE)) != 0;
  effective &= ~CAP_TO_MASK(CAP_SYS_NICE);
  return syscall(SYS_capset, &header, data) == 0;
}

bool SetLimit(int resource, rlim_t value) {
  const rlimit limit{value, value};
  return setrlimit(resource, &limit) == 0;
}

// The process-wide limits a case changes are put back after it, as far as the
// system lets a process raise its hard limits again.
class RealtimePriorityTest : public ::testing::Test {
 protected:
  void SetUp() override {
    getrlimit(RLIMIT_RTTIME, &realtimeTime_);
    getrlimit(RLIMIT_RTPRIO, &realtimePriority_);
  }
  void TearDown() override {
    setrlimit(RLIMIT_RTTIME, &realtimeTime_);
    setrlimit(RLIMIT_RTPRIO, &realtimePriority_);
  }

 private:
  rlimit realtimeTime_{};
  rlimit realtimePriority_{};
};

struct GrantCase {
  const char* name;
  int wanted;
  int32_t maxPriority;
  int64_t maxRealtimeTime;    // µs
  rlim_t realtimeTimeBefore;  // the process's RLIMIT_RTTIME before the request
  int priority;               // asked for and granted
  rlim_t realtimeTime;        // RLIMIT_RTTIME, soft and hard, when asking
};

void PrintTo(const GrantCase& c, std::ostream* out) {
  *out << c.name;
}

class RealtimeKitGrantTest : public RealtimePriorityTest,
                             public ::testing::WithParamInterface<GrantCase> {};

TEST_P(RealtimeKitGrantTest, AsksForTheCallingThreadWithinTheServicesLimits) {
  const GrantCase& c = GetParam();
  const PrivateSystemBus bus;
  ASSERT_TRUE(bus.IsRunning());
  const TestRealtimeKit kit(bus.address(), c.maxPriority, c.maxRealtimeTime, false);
  ASSERT_TRUE(kit.IsServing());
  if (!SetLimit(RLIMIT_RTTIME, c.realtimeTimeBefore))
    GTEST_SKIP() << "RLIMIT_RTTIME cannot be raised here";

  const OnItsThread seen = RunOnItsOwnThread([&] { return RequestRealtimeKit(c.wanted); });

  EXPECT_EQ(seen.result.route, RealtimeRoute::kRealtimeKit) << seen.result.refusal;
  EXPECT_EQ(seen.result.priority, c.priority);
  EXPECT_EQ(WriterPriorityLine(seen.result), "quorelle: ALSA writer at real-time priority " +
                                                 std::to_string(c.priority) + " (RealtimeKit)");
  const std::vector<TestRealtimeKit::Request> requests = kit.Requests();
  ASSERT_EQ(requests.size(), 1u);
  EXPECT_EQ(requests[0].thread, static_cast<uint64_t>(seen.thread));
  EXPECT_EQ(requests[0].priority, static_cast<uint32_t>(c.priority));
  EXPECT_EQ(requests[0].realtimeTime.rlim_cur, c.realtimeTime);
  EXPECT_EQ(requests[0].realtimeTime.rlim_max, c.realtimeTime);
}

INSTANTIATE_TEST_SUITE_P(Cases, RealtimeKitGrantTest,
                         ::testing::Values(GrantCase{"WantedAboveTheMaximum", kWanted, 20, 200000,
                                                     RLIM_INFINITY, 20, 200000},
                                           GrantCase{"WantedBelowTheMaximumALowerTimeLimitKept", 10,
                                                     20, 200000, 50000, 10, 50000}),
                         [](const ::testing::TestParamInfo<GrantCase>& param) {
                           return std::string(param.param.name);
                         });

enum class Bus { kRefusingService, kNoService, kNone };

struct RefusalCase {
  const char* name;
  Bus bus;
};

void PrintTo(const RefusalCase& c, std::ostream* out) {
  *out << c.name;
}

class RealtimeKitRefusalTest : public RealtimePriorityTest,
                               public ::testing::WithParamInterface<RefusalCase> {};

TEST_P(RealtimeKitRefusalTest, TheThreadStaysAtNormalPriority) {
  const RefusalCase& c = GetParam();
  std::unique_ptr<PrivateSystemBus> bus;
  std::unique_ptr<NoSystemBus> noBus;
  std::unique_ptr<TestRealtimeKit> kit;
  if (c.bus == Bus::kNone) {
    noBus = std::make_unique<NoSystemBus>();
  } else {
    bus = std::make_unique<PrivateSystemBus>();
    ASSERT_TRUE(bus->IsRunning());
  }
  if (c.bus == Bus::kRefusingService) {
    kit = std::make_unique<TestRealtimeKit>(bus->address(), 20, 200000, true);
    ASSERT_TRUE(kit->IsServing());
  }

  const OnItsThread seen = RunOnItsOwnThread([] { return RequestRealtimeKit(kWanted); });

  EXPECT_EQ(seen.result.route, RealtimeRoute::kNone);
  EXPECT_EQ(seen.result.priority, 0);
  EXPECT_EQ(seen.policy, SCHED_OTHER);
  EXPECT_FALSE(seen.result.refusal.empty());
  EXPECT_EQ(WriterPriorityLine(seen.result),
            kNormalPriorityLine + " (" + seen.result.refusal + ")");
  // The refusal is the service's answer, not a request that never arrived.
  if (kit) {
    EXPECT_EQ(kit->Requests().size(), 1u);
  }
}

INSTANTIATE_TEST_SUITE_P(Cases, RealtimeKitRefusalTest,
                         ::testing::Values(RefusalCase{"ServiceRefuses", Bus::kRefusingService},
                                           RefusalCase{"NoServiceOnTheBus", Bus::kNoService},
                                           RefusalCase{"NoBus", Bus::kNone}),
                         [](const ::testing::TestParamInfo<RefusalCase>& param) {
                           return std::string(param.param.name);
                         });

struct FallbackCase {
  const char* name;
  bool sysNice;                  // the thread holds CAP_SYS_NICE
  rlim_t realtimePriorityLimit;  // RLIMIT_RTPRIO
  RealtimeRoute route;
  int priority;
  int policy;  // the thread's policy afterwards (the test service leaves it)
  std::size_t realtimeKitRequests;
  const char* line;
};

void PrintTo(const FallbackCase& c, std::ostream* out) {
  *out << c.name;
}

class RealtimeFallbackTest : public RealtimePriorityTest,
                             public ::testing::WithParamInterface<FallbackCase> {};

TEST_P(RealtimeFallbackTest, RealtimeKitIsAskedOnlyWhereSchedFifoIsRefused) {
  const FallbackCase& c = GetParam();
  const PrivateSystemBus bus;
  ASSERT_TRUE(bus.IsRunning());
  const TestRealtimeKit kit(bus.address(), 20, 200000, false);
  ASSERT_TRUE(kit.IsServing());
  if (!SetLimit(RLIMIT_RTPRIO, c.realtimePriorityLimit))
    GTEST_SKIP() << "RLIMIT_RTPRIO cannot be raised here";

  bool privilegeAsAsked = false;
  const OnItsThread seen = RunOnItsOwnThread([&] {
    privilegeAsAsked = SetSysNice(c.sysNice);
    return RaiseThreadToRealtime(kWanted);
  });

  if (!privilegeAsAsked) GTEST_SKIP() << "CAP_SYS_NICE is not to be had here";
  EXPECT_EQ(seen.result.route, c.route) << seen.result.refusal;
  EXPECT_EQ(seen.result.priority, c.priority);
  EXPECT_EQ(seen.policy, c.policy);
  if (c.policy == SCHED_FIFO) {
    EXPECT_EQ(seen.priority, c.priority);
  }
  EXPECT_EQ(kit.Requests().size(), c.realtimeKitRequests);
  EXPECT_EQ(WriterPriorityLine(seen.result), c.line);
}

INSTANTIATE_TEST_SUITE_P(
    Cases, RealtimeFallbackTest,
    ::testing::Values(FallbackCase{"SysNiceGivesSchedFifoAsWanted", true, 0,
                                   RealtimeRoute::kSchedFifo, kWanted, SCHED_FIFO, 0,
                                   "quorelle: ALSA writer at real-time priority 70 (SCHED_FIFO)"},
                      FallbackCase{"RtprioLimitGivesSchedFifoAtTheLimit", false, 10,
                                   RealtimeRoute::kSchedFifo, 10, SCHED_FIFO, 0,
                                   "quorelle: ALSA writer at real-time priority 10 (SCHED_FIFO)"},
                      FallbackCase{"NoRtprioLimitAsksRealtimeKit", false, 0,
                                   RealtimeRoute::kRealtimeKit, 20, SCHED_OTHER, 1,
                                   "quorelle: ALSA writer at real-time priority 20 (RealtimeKit)"}),
    [](const ::testing::TestParamInfo<FallbackCase>& param) {
      return std::string(param.param.name);
    });

}  // namespace
