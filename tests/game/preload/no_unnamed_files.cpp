// Preloaded into the program by end-to-end tests: every open of an unnamed file (O_TMPFILE)
// fails with EOPNOTSUPP, as on a file system that has none (FAT, many FUSE file systems), so
// that the writes use named temporaries.
#include <dlfcn.h>
#include <errno.h>
#include <fcntl.h>
#include <stdarg.h>

using OpenCall = int (*)(const char*, int, ...);

extern "C" int open(const char* path, int flags, ...) {
  mode_t mode = 0;
  if ((flags & O_CREAT) != 0 || (flags & O_TMPFILE) == O_TMPFILE) {
    va_list args;
    va_start(args, flags);
    mode = va_arg(args, mode_t);
    va_end(args);
  }
  if ((flags & O_TMPFILE) == O_TMPFILE) {
    errno = EOPNOTSUPP;
    return -1;
  }
  static const OpenCall next = reinterpret_cast<OpenCall>(dlsym(RTLD_NEXT, "open"));
  return next(path, flags, mode);
}
