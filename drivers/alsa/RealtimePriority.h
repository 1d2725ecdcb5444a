#pragma once

#include <string>

// Real-time scheduling for the calling thread, best effort: SCHED_FIFO where
// the user may have it (root, CAP_SYS_NICE or an RTPRIO limit), else a
// request to RealtimeKit on the D-Bus system bus (DBUS_SYSTEM_BUS_ADDRESS, or
// the system's default socket), as desktop users without an RTPRIO limit get
// real-time threads. Neither: the thread stays at normal priority. Nothing
// here aborts or throws; a bus that is missing or stuck costs at most a
// bounded wait per call.
enum class RealtimeRoute { kNone, kSchedFifo, kRealtimeKit };

struct RealtimeResult {
  RealtimeRoute route = RealtimeRoute::kNone;
  int priority = 0;     // the real-time priority granted; 0 at normal priority
  std::string refusal;  // at normal priority: why RealtimeKit did not help
};

// SCHED_FIFO at `wanted`, or at the RTPRIO limit when that is lower; where
// the kernel refuses, RequestRealtimeKit(wanted).
RealtimeResult RaiseThreadToRealtime(int wanted);

// Asks RealtimeKit alone for the calling thread: at the lower of `wanted` and
// the service's MaxRealtimePriority, after limiting the process's
// RLIMIT_RTTIME to the service's RTTimeUSecMax (it refuses processes without
// that limit). The limit stays set: it is what the service granted under.
RealtimeResult RequestRealtimeKit(int wanted);

// The ALSA writer's log line for a result, without the newline.
std::string WriterPriorityLine(const RealtimeResult& result);

// For each ALSA writer thread as it starts: RaiseThreadToRealtime(wanted),
// and the first thread of the process writes its line to stderr.
void RaiseWriterThreadToRealtime(int wanted);
