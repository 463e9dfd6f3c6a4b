/* Preloaded into the program to stand for a slow file system: the first
 * flush of a file to disk says so by creating the file named in
 * SLOW_FSYNC_MARKER, then takes a minute, long enough for a test to send the
 * program a second signal in the middle of its close. */
#define _GNU_SOURCE
#include <dlfcn.h>
#include <fcntl.h>
#include <stdio.h>
#include <stdlib.h>
#include <time.h>
#include <unistd.h>

int fsync(int fd) {
  const char* marker = getenv("SLOW_FSYNC_MARKER");
  if (marker != NULL) {
    /* The marker appears by rename, once its descriptor is closed again: a
     * test that lists the program's open files on seeing it must not find
     * the marker's own. */
    char made_name[4096];
    if (snprintf(made_name, sizeof made_name, "%s.new", marker) < (int)sizeof made_name) {
      int made = open(made_name, O_WRONLY | O_CREAT | O_CLOEXEC, 0644);
      if (made >= 0) {
        close(made);
        rename(made_name, marker);
      }
    }
    struct timespec minute = {60, 0};
    while (nanosleep(&minute, &minute) != 0) {
    }
  }
  int (*real)(int) = (int (*)(int))dlsym(RTLD_NEXT, "fsync");
  return real(fd);
}
