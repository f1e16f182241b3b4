/* A malloc that fails one size: preloaded into the program (FAIL_MALLOC_SIZE=<bytes> in its
   environment) or linked into a test program that arms it with FailMallocOfSize. Every call of
   malloc (and of realloc, when a test asks) for exactly that many bytes returns NULL with ENOMEM;
   all others go to the C library's own. */
#include <errno.h>
#include <stdlib.h>

extern void* __libc_malloc(size_t size);
extern void* __libc_realloc(void* block, size_t size);

static size_t failing;
static int failingRealloc;

__attribute__((constructor)) static void ReadFailingSize(void) {
  const char* text = getenv("FAIL_MALLOC_SIZE");
  if (text != NULL) failing = (size_t)strtoull(text, NULL, 10);
}

void FailMallocOfSize(size_t size, int realloc_too) {
  failing = size;
  failingRealloc = realloc_too;
}

void* malloc(size_t size) {
  if (failing != 0 && size == failing) {
    errno = ENOMEM;
    return NULL;
  }
  return __libc_malloc(size);
}

void* realloc(void* block, size_t size) {
  if (failingRealloc && failing != 0 && size == failing) {
    errno = ENOMEM;
    return NULL;
  }
  return __libc_realloc(block, size);
}
