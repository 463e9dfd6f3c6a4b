/* A library for the loader tests. It exports `connect`, a name the C library
   exports too, as the socket stand-in does: loading it must not put this one
   in anyone else's way. */
#include <unistd.h>

int connect(int a, const void* b, unsigned c) {
  (void)a;
  (void)b;
  (void)c;
  return 4242;
}

/* Calling into the C library makes it a dependency of this library, as it is
   of every real one, so look-ups can be checked not to wander into it. */
int vantrel_sample_pid(void) { return (int)getpid(); }
