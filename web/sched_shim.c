/* sched_shim.c: the two scheduling calls Emscripten's C library lacks
   without threads, which the music code's real-time layer makes when it
   asks for a real-time mixer thread. The browser build never starts that
   thread (its ring is refilled by the pumped drive), and a browser grants
   no real-time scheduling, so both calls refuse as a system without the
   feature does.
   Owns: nothing. Thread: any. */
#include <errno.h>
#include <pthread.h>
#include <sched.h>

int sched_get_priority_min(int policy) {
  (void)policy;
  errno = ENOSYS;
  return -1;
}

int pthread_setschedparam(pthread_t thread, int policy, const struct sched_param* param) {
  (void)thread;
  (void)policy;
  (void)param;
  return ENOSYS;
}
