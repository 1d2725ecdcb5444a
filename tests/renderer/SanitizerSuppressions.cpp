// libpulse is not built with the thread sanitizer: a mutex its mainloop
// thread creates reaches other threads through its own atomics, which the
// sanitizer cannot see, and the first lock of it reads as a race. Only thread
// sanitizer builds call this hook.
extern "C" const char* __tsan_default_suppressions() {
  return "race:pa_mutex_lock\n";
}
