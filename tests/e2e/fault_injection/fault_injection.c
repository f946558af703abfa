/* Loaded with LD_PRELOAD into the zarnik program by the fault-injection tests: it counts the
 * calls that change files, and can kill the process at one chosen call, to prove that a cleaning
 * or a revert cut off at any such moment loses nothing and that the next run recovers.
 *
 *   ZARNIK_FAULT=<call>:<n>:<before|after>  SIGKILL at the n-th call (1-based) of <call>, before
 *                                           making it or right after it returned.
 *   ZARNIK_FAULT_COUNT=<file>               at exit, write "<call> <count>" lines to <file>.
 *
 * Writes count only on regular files (the user's files, the stores, the trash's info files, the
 * log): writes to the terminal, pipes and event descriptors (stdout, stderr, wake-ups of worker
 * threads) are not kill points, because killing there cuts output and tells nothing. The other
 * calls count whatever they touch. glibc's own internal calls (remove() reaching unlink, stdio
 * reaching write) do not pass through here, which is why remove is wrapped by itself. */
#define _GNU_SOURCE
#include <dlfcn.h>
#include <fcntl.h>
#include <signal.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <sys/sendfile.h>
#include <sys/stat.h>
#include <sys/types.h>
#include <unistd.h>

enum call {
  CALL_RENAME, CALL_RENAMEAT, CALL_RENAMEAT2, CALL_LINK, CALL_LINKAT, CALL_UNLINK, CALL_UNLINKAT,
  CALL_RMDIR, CALL_REMOVE, CALL_WRITE, CALL_PWRITE, CALL_PWRITE64, CALL_FSYNC, CALL_FDATASYNC,
  CALL_COPY_FILE_RANGE, CALL_SENDFILE, CALL_SENDFILE64, CALL_COUNT
};

static const char* const call_names[CALL_COUNT] = {
  "rename", "renameat", "renameat2", "link", "linkat", "unlink", "unlinkat", "rmdir", "remove",
  "write", "pwrite", "pwrite64", "fsync", "fdatasync", "copy_file_range", "sendfile", "sendfile64",
};

static long counts[CALL_COUNT];
static int fault_call = -1;
static long fault_at;
static int fault_after;
static char count_file[4096];

static void* real(const char* name) {
  void* found = dlsym(RTLD_NEXT, name);
  if (found == NULL) abort();  /* a wrapped call the C library does not have: nothing to forward to */
  return found;
}

/* The C library's own function of the same name, found on first use (by any thread: they all
 * find the same). */
#define REAL(name) \
  static __typeof__(&name) resolved; \
  __typeof__(&name) real_fn = __atomic_load_n(&resolved, __ATOMIC_RELAXED); \
  if (real_fn == NULL) { \
    real_fn = (__typeof__(&name))real(#name); \
    __atomic_store_n(&resolved, real_fn, __ATOMIC_RELAXED); \
  }

static void die_now(void) { kill(getpid(), SIGKILL); }

/* Counts one call; returns its number. */
static long counted(enum call which) { return __atomic_add_fetch(&counts[which], 1, __ATOMIC_SEQ_CST); }

static void before(enum call which, long number) {
  if ((int)which == fault_call && number == fault_at && !fault_after) die_now();
}

static void after(enum call which, long number) {
  if ((int)which == fault_call && number == fault_at && fault_after) die_now();
}

static int is_regular_file(int fd) {
  struct stat status;
  return fstat(fd, &status) == 0 && S_ISREG(status.st_mode);
}

__attribute__((constructor)) static void read_configuration(void) {
  const char* fault = getenv("ZARNIK_FAULT");
  if (fault != NULL) {
    char name[64];
    char when[16];
    long at = 0;
    if (sscanf(fault, "%63[^:]:%ld:%15s", name, &at, when) == 3) {
      for (int i = 0; i < CALL_COUNT; ++i) {
        if (strcmp(name, call_names[i]) == 0) fault_call = i;
      }
      fault_at = at;
      fault_after = strcmp(when, "after") == 0;
    }
    if (fault_call < 0) {
      fprintf(stderr, "fault_injection: ZARNIK_FAULT=%s: expected <call>:<n>:<before|after>\n", fault);
      _exit(99);
    }
  }
  const char* file = getenv("ZARNIK_FAULT_COUNT");
  if (file != NULL) snprintf(count_file, sizeof count_file, "%s", file);
}

__attribute__((destructor)) static void write_counts(void) {
  if (count_file[0] == '\0') return;
  REAL(write);
  const int fd = open(count_file, O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644);
  if (fd < 0) return;
  for (int i = 0; i < CALL_COUNT; ++i) {
    char line[96];
    const int length = snprintf(line, sizeof line, "%s %ld\n", call_names[i], __atomic_load_n(&counts[i], __ATOMIC_SEQ_CST));
    (void)!real_fn(fd, line, (size_t)length);
  }
  close(fd);
}

/* One wrapper: count, maybe die, call through, maybe die. */
#define WRAP(which, call_expression) \
  do { \
    const long number = counted(which); \
    before(which, number); \
    __typeof__(call_expression) result = call_expression; \
    after(which, number); \
    return result; \
  } while (0)

/* Writes to anything but a regular file go straight through. */
#define WRAP_WRITE(which, fd, call_expression) \
  do { \
    if (!is_regular_file(fd)) return call_expression; \
    WRAP(which, call_expression); \
  } while (0)

int rename(const char* from, const char* to) {
  REAL(rename);
  WRAP(CALL_RENAME, real_fn(from, to));
}

int renameat(int fromDir, const char* from, int toDir, const char* to) {
  REAL(renameat);
  WRAP(CALL_RENAMEAT, real_fn(fromDir, from, toDir, to));
}

int renameat2(int fromDir, const char* from, int toDir, const char* to, unsigned int flags) {
  REAL(renameat2);
  WRAP(CALL_RENAMEAT2, real_fn(fromDir, from, toDir, to, flags));
}

int link(const char* existing, const char* created) {
  REAL(link);
  WRAP(CALL_LINK, real_fn(existing, created));
}

int linkat(int existingDir, const char* existing, int createdDir, const char* created, int flags) {
  REAL(linkat);
  WRAP(CALL_LINKAT, real_fn(existingDir, existing, createdDir, created, flags));
}

int unlink(const char* path) {
  REAL(unlink);
  WRAP(CALL_UNLINK, real_fn(path));
}

int unlinkat(int dir, const char* path, int flags) {
  REAL(unlinkat);
  WRAP(CALL_UNLINKAT, real_fn(dir, path, flags));
}

int rmdir(const char* path) {
  REAL(rmdir);
  WRAP(CALL_RMDIR, real_fn(path));
}

int remove(const char* path) {
  REAL(remove);
  WRAP(CALL_REMOVE, real_fn(path));
}

ssize_t write(int fd, const void* bytes, size_t count) {
  REAL(write);
  WRAP_WRITE(CALL_WRITE, fd, real_fn(fd, bytes, count));
}

ssize_t pwrite(int fd, const void* bytes, size_t count, off_t offset) {
  REAL(pwrite);
  WRAP_WRITE(CALL_PWRITE, fd, real_fn(fd, bytes, count, offset));
}

ssize_t pwrite64(int fd, const void* bytes, size_t count, off64_t offset) {
  REAL(pwrite64);
  WRAP_WRITE(CALL_PWRITE64, fd, real_fn(fd, bytes, count, offset));
}

int fsync(int fd) {
  REAL(fsync);
  WRAP(CALL_FSYNC, real_fn(fd));
}

int fdatasync(int fd) {
  REAL(fdatasync);
  WRAP(CALL_FDATASYNC, real_fn(fd));
}

ssize_t copy_file_range(int in, off64_t* inOffset, int out, off64_t* outOffset, size_t length, unsigned int flags) {
  REAL(copy_file_range);
  WRAP_WRITE(CALL_COPY_FILE_RANGE, out, real_fn(in, inOffset, out, outOffset, length, flags));
}

ssize_t sendfile(int out, int in, off_t* offset, size_t count) {
  REAL(sendfile);
  WRAP_WRITE(CALL_SENDFILE, out, real_fn(out, in, offset, count));
}

ssize_t sendfile64(int out, int in, off64_t* offset, size_t count) {
  REAL(sendfile64);
  WRAP_WRITE(CALL_SENDFILE64, out, real_fn(out, in, offset, count));
}
