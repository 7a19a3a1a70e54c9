#include "Sv_Platform.h"

#include <atomic>
#include <cctype>
#include <cerrno>
#include <climits>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <dirent.h>
#include <fcntl.h>
#include <malloc.h>
#include <mutex>
#include <signal.h>
#include <spawn.h>
#include <string>
#include <sys/file.h>
#include <sys/mman.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <sys/xattr.h>
#include <time.h>
#include <unistd.h>
#include <vector>

extern char** environ;

namespace {

pid_t WaitFor(pid_t pid, int* status) {
  pid_t r;
  do {
    r = waitpid(pid, status, 0);
  } while (r < 0 && errno == EINTR);
  return r;
}

// Six characters for a temporary file's name, different on every call in
// this process and unlikely to repeat across processes.
std::string UniqueSuffix() {
  static std::atomic<unsigned long long> counter{0};
  static const char kChars[] = "abcdefghijklmnopqrstuvwxyzABCDEFGHIJKLMNOPQRSTUVWXYZ0123456789";
  struct timespec ts;
  clock_gettime(CLOCK_REALTIME, &ts);
  unsigned long long v = counter.fetch_add(1) * 0x9E3779B97F4A7C15ull;
  v ^= static_cast<unsigned long long>(ts.tv_nsec) * 0xBF58476D1CE4E5B9ull;
  v ^= static_cast<unsigned long long>(getpid()) << 32;
  v ^= v >> 29;
  std::string s(6, 'x');
  for (char& c : s) {
    c = kChars[v % 62];
    v /= 62;
  }
  return s;
}

}  // namespace

int Sv_PlatformRunProcess(const char* command, int wait) {
  if (!command) return -1;
  // posix_spawn starts the shell without copying the whole process (a
  // viewer with large grids loaded would otherwise fork them all), and it
  // reports a shell that could not be started.
  //
  // Waiting: "/bin/sh -c command", its exit code returned.
  // Detached: a shell that starts "/bin/sh -c command" in the background
  // and exits at once; once it is reaped here the command belongs to init,
  // so it never lingers as a zombie. The command travels as the shell's
  // first argument, never pasted into a script, so it runs exactly as
  // given.
  char shell[] = "/bin/sh";
  char dashC[] = "-c";
  char detach[] = "/bin/sh -c \"$1\" &";
  char name[] = "sh";
  std::string cmd(command);
  char* waitArgv[] = {shell, dashC, &cmd[0], nullptr};
  char* detachArgv[] = {shell, dashC, detach, name, &cmd[0], nullptr};

  posix_spawnattr_t attr;
  if (posix_spawnattr_init(&attr) != 0) return -1;
  sigset_t none, defaults;
  sigemptyset(&none);
  sigemptyset(&defaults);
  sigaddset(&defaults, SIGPIPE);
  // The command gets the usual action for a file-size limit even where
  // the viewer was started with it ignored.
  sigaddset(&defaults, SIGXFSZ);
  short flags = POSIX_SPAWN_SETSIGMASK | POSIX_SPAWN_SETSIGDEF;
  // A detached command leaves the viewer's session, so a signal to the
  // viewer's terminal does not reach it.
  if (!wait) flags |= POSIX_SPAWN_SETSID;
  posix_spawnattr_setsigmask(&attr, &none);
  posix_spawnattr_setsigdefault(&attr, &defaults);
  posix_spawnattr_setflags(&attr, flags);
  pid_t pid = -1;
  const int rc = posix_spawn(&pid, shell, nullptr, &attr, wait ? waitArgv : detachArgv, environ);
  posix_spawnattr_destroy(&attr);
  if (rc != 0) return -1;
  int status = 0;
  if (WaitFor(pid, &status) < 0) return -1;
  if (!WIFEXITED(status)) return -1;
  if (wait) return WEXITSTATUS(status);
  return WEXITSTATUS(status) == 0 ? 0 : -1;
}

void Sv_PlatformExit(int code) { _exit(code); }

int Sv_PlatformShmAttach(const char* name, long size, int writable, void** view, size_t* viewSize, int* fd) {
  *view = nullptr;
  *viewSize = 0;
  *fd = -1;
  if (!name || !*name) {
    errno = EINVAL;
    return -1;
  }
  std::string posixName = name[0] == '/' ? std::string(name) : "/" + std::string(name);
  int d = shm_open(posixName.c_str(), (writable ? O_RDWR : O_RDONLY) | O_CLOEXEC, 0);
  if (d < 0) return -1;
  struct stat st;
  if (fstat(d, &st) != 0 || st.st_size <= 0) {
    close(d);
    return -2;
  }
  size_t want = size > 0 ? static_cast<size_t>(size) : static_cast<size_t>(st.st_size);
  if (static_cast<size_t>(st.st_size) < want) {
    close(d);
    return -2;
  }
  void* p = mmap(nullptr, want, writable ? PROT_READ | PROT_WRITE : PROT_READ, MAP_SHARED, d, 0);
  if (p == MAP_FAILED) {
    close(d);
    return -2;
  }
  *view = p;
  *viewSize = want;
  *fd = d;
  return 0;
}

void Sv_PlatformCloseHandle(int fd) {
  if (fd >= 0) close(fd);
}

long long Sv_PlatformDescriptorSize(int fd) {
  struct stat st;
  if (fd < 0 || fstat(fd, &st) != 0) return -1;
  return static_cast<long long>(st.st_size);
}

bool Sv_PlatformDescriptorUnlinked(int fd) {
  struct stat st;
  return fd >= 0 && fstat(fd, &st) == 0 && st.st_nlink == 0;
}

long long Sv_PlatformReadAt(int fd, void* buffer, size_t bytes, long long offset) {
  if (fd < 0 || offset < 0 || (bytes > 0 && !buffer)) return -1;
  unsigned char* at = static_cast<unsigned char*>(buffer);
  size_t done = 0;
  while (done < bytes) {
    const ssize_t n = pread(fd, at + done, bytes - done, static_cast<off_t>(offset + static_cast<long long>(done)));
    if (n < 0 && errno == EINTR) continue;
    if (n < 0) return -1;
    if (n == 0) break;  // the end of the object
    done += static_cast<size_t>(n);
  }
  return static_cast<long long>(done);
}

long long Sv_PlatformWriteAt(int fd, const void* buffer, size_t bytes, long long offset) {
  if (fd < 0 || offset < 0 || (bytes > 0 && !buffer)) return -1;
  const unsigned char* at = static_cast<const unsigned char*>(buffer);
  size_t done = 0;
  while (done < bytes) {
    const ssize_t n = pwrite(fd, at + done, bytes - done, static_cast<off_t>(offset + static_cast<long long>(done)));
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) return done > 0 ? static_cast<long long>(done) : -1;
    done += static_cast<size_t>(n);
  }
  return static_cast<long long>(done);
}

void Sv_PlatformShmDetach(void* view, size_t viewSize) {
  if (view && viewSize > 0) munmap(view, viewSize);
}

std::string Sv_PlatformWriteTarget(const char* path) {
  if (!path || !*path) return std::string();
  // Follows the chain of links by hand rather than with realpath: the file
  // at its end need not exist yet (a dangling link is written through, and
  // its target created).
  std::string current(path);
  for (int hop = 0; hop < 40; ++hop) {
    struct stat st;
    if (lstat(current.c_str(), &st) != 0 || !S_ISLNK(st.st_mode)) return current;
    std::string link(st.st_size > 0 ? static_cast<size_t>(st.st_size) + 1 : PATH_MAX, '\0');
    const ssize_t n = readlink(current.c_str(), &link[0], link.size());
    if (n <= 0 || static_cast<size_t>(n) >= link.size()) return std::string();
    link.resize(static_cast<size_t>(n));
    if (link[0] == '/') {
      current = link;
    } else {
      const size_t sep = current.rfind('/');
      current = (sep == std::string::npos ? std::string() : current.substr(0, sep + 1)) + link;
    }
  }
  errno = ELOOP;
  return std::string();
}

const char* Sv_PlatformNonRegularKind(const char* path) {
  struct stat st;
  if (!path || !*path || lstat(path, &st) != 0 || S_ISREG(st.st_mode)) return nullptr;
  if (S_ISFIFO(st.st_mode)) return "named pipe";
  if (S_ISCHR(st.st_mode)) return "character device";
  if (S_ISBLK(st.st_mode)) return "block device";
  if (S_ISDIR(st.st_mode)) return "directory";
  if (S_ISSOCK(st.st_mode)) return "socket";
  if (S_ISLNK(st.st_mode)) return "symbolic link";
  return "special file";
}

namespace {

// The hidden temporary's name for a target's file name: the dot, the name
// (cut to leave room within the longest file name) and ".orvanta-tmp-"
// before the six-character suffix, a name no user gives a file.
std::string TemporaryPrefix(std::string name) {
  if (name.size() > 200) name.resize(200);
  return "." + name + ".orvanta-tmp-";
}

// The mark a writer sets on its temporary while it writes it (an extended
// attribute), taken off again just before the rename. Only a file with the
// temporary's name, this mark and no lock is a killed writer's leftover;
// where the file system keeps no such attributes nothing is ever removed.
const char kTemporaryMark[] = "user.orvanta.temporary";

bool HasTemporaryMark(int fd) {
  char value[2];
  return fgetxattr(fd, kTemporaryMark, value, sizeof(value)) == 1 && value[0] == '1';
}

bool IsSuffixChar(char c) {
  return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9');
}

// Whether the open descriptor is still the file at path (a cleaner may
// have removed a fresh temporary before its writer locked it).
bool StillAt(int fd, const std::string& path) {
  struct stat a, b;
  return fstat(fd, &a) == 0 && stat(path.c_str(), &b) == 0 && a.st_dev == b.st_dev && a.st_ino == b.st_ino;
}

int (*g_directorySync)(int) = nullptr;

// Owner, group and size limit of a replacement.

// A write past the process's file-size limit (RLIMIT_FSIZE) raises SIGXFSZ,
// whose default action ends the process. Caught by a handler that does
// nothing, the write fails with EFBIG like any other failed write, and the
// old file is kept. A caught signal, unlike an ignored one, is back at its
// default in every program this process starts (exec resets handlers), by
// whatever means it is started. A handler the program installed, or an
// action it chose, stays; the default is caught again whenever it is found
// back.
void FileSizeSignalCaught(int) {}

void CatchFileSizeSignal() {
  struct sigaction current;
  if (sigaction(SIGXFSZ, nullptr, &current) != 0 || (current.sa_flags & SA_SIGINFO) ||
      current.sa_handler != SIG_DFL) {
    return;
  }
  struct sigaction caught;
  memset(&caught, 0, sizeof caught);
  caught.sa_handler = FileSizeSignalCaught;
  caught.sa_flags = SA_RESTART;
  sigemptyset(&caught.sa_mask);
  (void)sigaction(SIGXFSZ, &caught, nullptr);
}

// Gives the new file at fd the owner and group of the file it replaces,
// where they differ: in a shared folder another user's (or another group's)
// file must not pass to this user when it is replaced. The superuser may
// give any owner and group, another user only a group of its own; false
// (errno set) where the system does not allow the change.
bool TakeOwnerOf(int fd, const struct stat& replaced) {
  struct stat mine;
  if (fstat(fd, &mine) != 0) return false;
  if (mine.st_uid == replaced.st_uid && mine.st_gid == replaced.st_gid) return true;
  return fchown(fd, mine.st_uid == replaced.st_uid ? static_cast<uid_t>(-1) : replaced.st_uid,
                mine.st_gid == replaced.st_gid ? static_cast<gid_t>(-1) : replaced.st_gid) == 0;
}

// The access ACL of the replaced file (its named users' and groups' entries,
// and the mask that the mode's group bits stand for) is given to the new
// file, after its mode: the ACL agrees with the replaced file's mode, so the
// mode stays. A replaced file without one leaves none (the new file may have
// taken one from its folder's default ACL). Best effort, like the mode;
// where the file system keeps no ACLs there is nothing to keep.
const char kAccessAcl[] = "system.posix_acl_access";

void KeepAccessAcl(const char* replaced, int fd) {
  std::vector<char> acl(512);
  ssize_t n = getxattr(replaced, kAccessAcl, acl.data(), acl.size());
  for (int attempt = 0; n < 0 && errno == ERANGE && attempt < 3; ++attempt) {
    const ssize_t size = getxattr(replaced, kAccessAcl, nullptr, 0);
    if (size <= 0) return;
    acl.resize(static_cast<size_t>(size));
    n = getxattr(replaced, kAccessAcl, acl.data(), acl.size());
  }
  if (n > 0) {
    (void)fsetxattr(fd, kAccessAcl, acl.data(), static_cast<size_t>(n), 0);
  } else if (n < 0 && errno == ENODATA) {
    (void)fremovexattr(fd, kAccessAcl);
  }
}

// Whether the file at fd has reached the file-size limit: the cause of a
// write that failed earlier, which stdio does not keep.
bool AtFileSizeLimit(int fd) {
  struct rlimit limit;
  struct stat st;
  return getrlimit(RLIMIT_FSIZE, &limit) == 0 && limit.rlim_cur != RLIM_INFINITY && fstat(fd, &st) == 0 &&
         static_cast<rlim_t>(st.st_size) >= limit.rlim_cur;
}

}  // namespace

void Sv_PlatformSetDirectorySyncHook(int (*sync)(int fd)) { g_directorySync = sync; }

void Sv_PlatformRemoveStaleTemporaries(const char* target) {
  if (!target || !*target) return;
  const std::string path(target);
  const size_t sep = path.rfind('/');
  const std::string directory = sep == std::string::npos ? std::string() : path.substr(0, sep + 1);
  const std::string prefix = TemporaryPrefix(sep == std::string::npos ? path : path.substr(sep + 1));
  DIR* dir = opendir(directory.empty() ? "." : directory.c_str());
  if (!dir) return;
  std::vector<std::string> stale;
  while (const dirent* entry = readdir(dir)) {
    const std::string name(entry->d_name);
    if (name.size() != prefix.size() + 6 || name.compare(0, prefix.size(), prefix) != 0) continue;
    bool suffix = true;
    for (size_t i = prefix.size(); i < name.size(); ++i) suffix = suffix && IsSuffixChar(name[i]);
    if (suffix) stale.push_back(directory + name);
  }
  closedir(dir);
  for (const std::string& candidate : stale) {
    const int fd = open(candidate.c_str(), O_RDONLY | O_NOFOLLOW | O_NONBLOCK | O_NOCTTY | O_CLOEXEC);
    if (fd < 0) continue;
    struct stat st;
    // A writer that is alive holds the lock on its temporary; one that was
    // killed holds nothing. Only this user's own regular files that carry
    // the writer's mark are touched.
    if (fstat(fd, &st) == 0 && S_ISREG(st.st_mode) && st.st_uid == geteuid() && HasTemporaryMark(fd) &&
        flock(fd, LOCK_EX | LOCK_NB) == 0 && StillAt(fd, candidate)) {
      unlink(candidate.c_str());
    }
    close(fd);
  }
}

FILE* Sv_PlatformCreateTemporary(const char* target, int binary, std::string* temporaryPath, int* lock,
                                 bool* ownerRefused) {
  if (ownerRefused) *ownerRefused = false;
  if (!target || !*target || !temporaryPath) {
    errno = EINVAL;
    return nullptr;
  }
  temporaryPath->clear();
  if (lock) *lock = -1;
  CatchFileSizeSignal();
  const std::string path(target);
  const size_t sep = path.rfind('/');
  const std::string directory = sep == std::string::npos ? std::string() : path.substr(0, sep + 1);
  const std::string name = sep == std::string::npos ? path : path.substr(sep + 1);
  if (name.empty()) {
    errno = EISDIR;
    return nullptr;
  }
  const std::string prefix = TemporaryPrefix(name);

  struct stat st;
  const bool exists = stat(target, &st) == 0;
  // A file its owner made read-only stays as it is, as with a write in place.
  if (exists && access(target, W_OK) != 0) return nullptr;
  const bool keepMode = exists && S_ISREG(st.st_mode);
  for (int attempt = 0; attempt < 100; ++attempt) {
    const std::string candidate = directory + prefix + UniqueSuffix();
    // 0666 lets the umask decide the permissions of a new file.
    const int fd = open(candidate.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0666);
    if (fd < 0) {
      if (errno == EEXIST) continue;
      return nullptr;
    }
    // The lock marks the temporary as being written: it lasts as long as
    // the descriptor (and its copies), and dies with a killed writer, so
    // that a later write can tell its leftover (Sv_PlatformRemoveStaleTemporaries).
    if (flock(fd, LOCK_EX | LOCK_NB) != 0 || !StillAt(fd, candidate)) {
      close(fd);
      continue;
    }
    if (keepMode && !TakeOwnerOf(fd, st)) {
      // The target is kept as it is rather than passing to this user.
      const int e = errno;
      close(fd);
      unlink(candidate.c_str());
      if (ownerRefused) *ownerRefused = true;
      errno = e;
      return nullptr;
    }
    if (keepMode) {
      // Best effort: a mode this user may not set leaves the umask's mode.
      // Set after the owner (a change of owner may clear bits), and never
      // with a set-user-id or set-group-id bit: the new file was written by
      // this user, whoever owns it now.
      (void)fchmod(fd, st.st_mode & 07777 & ~static_cast<mode_t>(S_ISUID | S_ISGID));
      KeepAccessAcl(target, fd);
    }
    // Best effort too: an unmarked temporary is merely never cleaned up.
    (void)fsetxattr(fd, kTemporaryMark, "1", 1, 0);
    // A copy of the descriptor keeps the lock after the stream is closed,
    // until the temporary has been renamed or removed.
    const int held = lock ? fcntl(fd, F_DUPFD_CLOEXEC, 0) : -1;
    FILE* file = (lock && held < 0) ? nullptr : fdopen(fd, binary ? "wb" : "w");
    if (!file) {
      const int e = errno;
      if (held >= 0) close(held);
      close(fd);
      unlink(candidate.c_str());
      errno = e;
      return nullptr;
    }
    if (lock) *lock = held;
    *temporaryPath = candidate;
    return file;
  }
  errno = EEXIST;
  return nullptr;
}

void Sv_PlatformUnmarkTemporary(int fd) {
  if (fd >= 0) (void)fremovexattr(fd, kTemporaryMark);
}

int Sv_PlatformSyncAndClose(FILE* file) {
  if (!file) {
    errno = EINVAL;
    return -1;
  }
  int firstError = 0;
  if (fflush(file) != 0) firstError = errno;
  // A write that failed earlier leaves the error flag set.
  if (!firstError && ferror(file)) firstError = AtFileSizeLimit(fileno(file)) ? EFBIG : EIO;
  if (!firstError && fsync(fileno(file)) != 0) firstError = errno;
  if (fclose(file) != 0 && !firstError) firstError = errno;
  if (!firstError) return 0;
  errno = firstError;
  return -1;
}

int Sv_PlatformReplaceFile(const char* from, const char* to) {
  if (!from || !to) {
    errno = EINVAL;
    return -1;
  }
  if (rename(from, to) != 0) return -1;
  // The rename is only durable once the directory itself is on the device.
  const std::string path(to);
  const size_t sep = path.rfind('/');
  const std::string directory = sep == std::string::npos ? "." : (sep == 0 ? "/" : path.substr(0, sep));
  const int fd = open(directory.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
  if (fd < 0) return -2;
  const int synced = g_directorySync ? g_directorySync(fd) : fsync(fd);
  const int e = errno;
  close(fd);
  // A file system that cannot sync a directory has nothing to push.
  if (synced != 0 && e != EINVAL && e != ENOTSUP) {
    errno = e;
    return -2;
  }
  return 0;
}

int Sv_PlatformRemoveFile(const char* path) {
  if (!path || !*path) return -1;
  return unlink(path) == 0 ? 0 : -1;
}

int Sv_PlatformOpenRegularDescriptor(const char* path) {
  if (!path || !*path) {
    errno = EINVAL;
    return -1;
  }
  // O_NONBLOCK: opening a named pipe for reading would otherwise wait for
  // a writer.
  const int fd = open(path, O_RDONLY | O_NONBLOCK | O_NOCTTY | O_CLOEXEC);
  if (fd < 0) return -1;
  struct stat st;
  if (fstat(fd, &st) != 0 || !S_ISREG(st.st_mode)) {
    close(fd);
    errno = EINVAL;
    return -1;
  }
  const int flags = fcntl(fd, F_GETFL);
  if (flags < 0 || fcntl(fd, F_SETFL, flags & ~O_NONBLOCK) != 0) {
    const int e = errno;
    close(fd);
    errno = e;
    return -1;
  }
  return fd;
}

FILE* Sv_PlatformOpenRegularFile(const char* path) {
  const int fd = Sv_PlatformOpenRegularDescriptor(path);
  if (fd < 0) return nullptr;
  FILE* file = fdopen(fd, "rb");
  if (!file) {
    const int e = errno;
    close(fd);
    errno = e;
  }
  return file;
}

const char* Sv_PlatformWhyNotReadable(const char* path) {
  if (!path || !*path) return "It has no name";
  struct stat st;
  if (stat(path, &st) != 0) return errno == ENOENT ? "It does not exist" : strerror(errno);
  if (S_ISDIR(st.st_mode)) return "It is a directory";
  if (!S_ISREG(st.st_mode)) return "It is not a regular file";
  const int fd = open(path, O_RDONLY | O_CLOEXEC);
  if (fd < 0) return strerror(errno);
  close(fd);
  return "It could not be read";
}

int Sv_PlatformMakeDirectory(const char* path) {
  if (!path || !*path) return -1;
  if (mkdir(path, 0755) == 0) return 0;
  struct stat st;
  if (errno == EEXIST && stat(path, &st) == 0 && S_ISDIR(st.st_mode)) return 0;
  return -1;
}

namespace {

// Huge pages pay when the kernel hands out memory it can give at once: a
// 2 MiB page then costs about the time of clearing it, a fraction of the
// 512 small-page faults it replaces. Where the kernel has no free 2 MiB
// blocks (memory fragmented, or handed back to a hypervisor) it must first
// compact memory, and touching a huge page costs several milliseconds while
// small pages still come from memory at hand: a first load in a fresh
// process then took several times a plain read of the same bytes.
//
// So a large block is advised to be backed by huge pages only when they are
// ready: when memory this process released a moment ago can serve it (the
// kernel hands that out again first), or when the kernel's free lists hold
// enough 2 MiB blocks for it (/proc/buddyinfo, orders 9 and up) that are
// still backed. In a virtual machine that reports free memory to its host
// (free page reporting), free blocks of the reporting order and up are the
// ones handed back: touching them makes the host find memory again, page
// by page, and a huge page there took several times as long as the small
// pages it replaces. Those blocks do not count as ready. Otherwise a block
// goes on small pages, as any plain read's buffer would.
constexpr size_t kHugePage = 2u << 20;
// How long memory released by this process counts as ready at hand.
constexpr double kRecycleSeconds = 1.0;

std::mutex g_recycleMutex;
size_t g_recycledBytes = 0;
double g_recycledAt = -1e30;

// The order (a power of two of pages) from which free blocks are reported
// to a host and may be handed back to it; beyond any order when the kernel
// reports none. Read once.
int ReportedOrder() {
  static const int order = [] {
    int value = -1;
    if (FILE* f = fopen("/sys/module/page_reporting/parameters/page_reporting_order", "r")) {
      if (fscanf(f, "%d", &value) != 1) value = -1;
      fclose(f);
    }
    // -1: no reporting device has registered.
    return value >= 0 ? value : INT_MAX;
  }();
  return order;
}

// Bytes the kernel holds free, and backed, in blocks of 2 MiB and more,
// outside the small DMA zone; 0 when it cannot be told.
size_t ReadyHugePageBytes() {
  const int reported = ReportedOrder();
  FILE* f = fopen("/proc/buddyinfo", "r");
  if (!f) return 0;
  const long page = sysconf(_SC_PAGESIZE);
  size_t ready = 0;
  char line[512];
  while (fgets(line, sizeof line, f)) {
    char zone[32] = "";
    int used = 0;
    if (sscanf(line, "Node %*d, zone %31s%n", zone, &used) != 1 || strcmp(zone, "DMA") == 0) continue;
    const char* p = line + used;
    for (int order = 0; order < 16 && order < reported; ++order) {
      char* end = nullptr;
      const unsigned long long blocks = strtoull(p, &end, 10);
      if (end == p) break;
      p = end;
      const unsigned long long blockBytes = static_cast<unsigned long long>(page) << order;
      if (blockBytes >= kHugePage) ready += static_cast<size_t>(blocks * blockBytes);
    }
  }
  fclose(f);
  return ready;
}

// True (and the amount taken) when memory this process released lately can
// serve a new block of bytes.
bool TakeRecycled(size_t bytes) {
  std::lock_guard<std::mutex> lock(g_recycleMutex);
  if (Sv_PlatformSeconds() - g_recycledAt > kRecycleSeconds || bytes > g_recycledBytes) return false;
  g_recycledBytes -= bytes;
  return true;
}

// Advises huge pages for the block when they are ready (see above).
void AdviseWhenReady(void* block, size_t bytes) {
  if (TakeRecycled(bytes) || ReadyHugePageBytes() >= bytes + bytes / 2) madvise(block, bytes, MADV_HUGEPAGE);
}

void* AllocAligned(size_t bytes) {
  if (bytes < kHugePage) return malloc(bytes ? bytes : 1);
  void* p = nullptr;
  if (posix_memalign(&p, kHugePage, bytes) != 0) return nullptr;
  AdviseWhenReady(p, bytes);
  return p;
}

}  // namespace

void* Sv_PlatformAllocLarge(size_t bytes) { return AllocAligned(bytes); }

void* Sv_PlatformAllocToFill(size_t bytes) { return AllocAligned(bytes); }

void Sv_PlatformFreeLarge(void* block, size_t bytes) {
  free(block);
  if (!block || bytes < kHugePage) return;
  std::lock_guard<std::mutex> lock(g_recycleMutex);
  const double now = Sv_PlatformSeconds();
  if (now - g_recycledAt > kRecycleSeconds) g_recycledBytes = 0;
  g_recycledBytes += bytes;
  g_recycledAt = now;
}

void Sv_PlatformSetHeapPolicy() {
  // The largest threshold glibc's own adjustment would reach, and twice it
  // for keeping freed memory, as glibc pairs them.
  constexpr int kMapFrom = 32 << 20;
  mallopt(M_MMAP_THRESHOLD, kMapFrom);
  mallopt(M_TRIM_THRESHOLD, 2 * kMapFrom);
}

namespace {

// The most read of one of the system's small text files.
constexpr size_t kSystemFileBytes = 4u << 20;
// The control group's memory limit before it has been read.
constexpr long long kUnread = -1;

std::mutex g_groupMutex;
// What stands for "/" when the control-group files are read ("" for "/").
std::string g_systemRoot;
// The control group's memory limit: kUnread, or bytes (0 for none).
std::atomic<long long> g_groupLimit{kUnread};

// The lines of a small text file; none when it cannot be read.
std::vector<std::string> ReadLines(const std::string& path) {
  std::vector<std::string> lines;
  FILE* f = Sv_PlatformOpenRegularFile(path.c_str());
  if (!f) return lines;
  std::string text;
  char block[4096];
  size_t n;
  while (text.size() < kSystemFileBytes && (n = fread(block, 1, sizeof block, f)) > 0) text.append(block, n);
  fclose(f);
  for (size_t start = 0; start < text.size();) {
    size_t end = text.find('\n', start);
    if (end == std::string::npos) end = text.size();
    lines.push_back(text.substr(start, end - start));
    start = end + 1;
  }
  return lines;
}

// The words of a line split at sep.
std::vector<std::string> Split(const std::string& line, char sep) {
  std::vector<std::string> words;
  for (size_t start = 0;;) {
    const size_t end = line.find(sep, start);
    words.push_back(line.substr(start, end == std::string::npos ? std::string::npos : end - start));
    if (end == std::string::npos) return words;
    start = end + 1;
  }
}

bool HasWord(const std::string& list, const char* word) {
  for (const std::string& w : Split(list, ',')) {
    if (w == word) return true;
  }
  return false;
}

bool IsOctal(char c) { return c >= '0' && c <= '7'; }

// A path of mountinfo, whose spaces, tabs, newlines and backslashes are
// written as three octal digits after a backslash.
std::string Unescape(const std::string& text) {
  std::string out;
  for (size_t i = 0; i < text.size(); ++i) {
    const bool escaped =
        text[i] == '\\' && i + 3 < text.size() && IsOctal(text[i + 1]) && IsOctal(text[i + 2]) && IsOctal(text[i + 3]);
    if (escaped) {
      out += static_cast<char>(((text[i + 1] - '0') << 6) | ((text[i + 2] - '0') << 3) | (text[i + 3] - '0'));
      i += 3;
    } else {
      out += text[i];
    }
  }
  return out;
}

// The group file's limit in bytes; 0 for none ("max") or no such file.
long long LimitIn(const std::string& path) {
  const std::vector<std::string> lines = ReadLines(path);
  if (lines.empty() || lines[0].empty() || lines[0][0] < '0' || lines[0][0] > '9') return 0;
  errno = 0;
  char* end = nullptr;
  const unsigned long long bytes = strtoull(lines[0].c_str(), &end, 10);
  const bool trailing = *end && !isspace(static_cast<unsigned char>(*end));
  if (errno == ERANGE || bytes > static_cast<unsigned long long>(LLONG_MAX) || trailing) return 0;
  return static_cast<long long>(bytes);
}

void TakeLeast(long long bytes, long long* least) {
  if (bytes > 0 && (*least == 0 || bytes < *least)) *least = bytes;
}

// The least limit that the file name sets in the group (its path as
// /proc/self/cgroup gives it) and in the groups above it, up to the mount
// point of the hierarchy of controller (null: the v2 hierarchy) that
// mountinfo lists; 0 for none.
long long LeastGroupLimit(const std::string& prefix, const std::vector<std::string>& mountinfo,
                          const char* controller, std::string group, const char* name) {
  for (const std::string& line : mountinfo) {
    // Fields: id, parent, device, root, mount point, options, optional
    // fields, "-", file-system type, source, super options.
    const std::vector<std::string> f = Split(line, ' ');
    size_t dash = 6;
    while (dash < f.size() && f[dash] != "-") ++dash;
    if (dash + 3 >= f.size()) continue;
    if (controller ? (f[dash + 1] != "cgroup" || !HasWord(f[dash + 3], controller)) : f[dash + 1] != "cgroup2") {
      continue;
    }
    // The group below what the mount shows; a group outside it (a mount
    // of another part of the hierarchy) is read at the mount point alone.
    const std::string root = Unescape(f[3]);
    if (root != "/") {
      const bool below = group.compare(0, root.size(), root) == 0 &&
                         (group.size() == root.size() || group[root.size()] == '/');
      group = below ? group.substr(root.size()) : std::string();
    }
    const std::string point = prefix + Unescape(f[4]);
    long long least = 0;
    for (;;) {
      while (!group.empty() && group.back() == '/') group.pop_back();
      TakeLeast(LimitIn(point + group + "/" + name), &least);
      if (group.empty()) return least;
      const size_t slash = group.rfind('/');
      group.erase(slash == std::string::npos ? 0 : slash);
    }
  }
  return 0;
}

// The memory limit of the process's control group, from the files under
// prefix; 0 for none.
long long ReadGroupLimit(const std::string& prefix) {
  const std::vector<std::string> groups = ReadLines(prefix + "/proc/self/cgroup");
  if (groups.empty()) return 0;
  const std::vector<std::string> mountinfo = ReadLines(prefix + "/proc/self/mountinfo");
  long long least = 0;
  for (const std::string& line : groups) {
    // "id:controllers:path"; v2's line is "0::path".
    const size_t first = line.find(':');
    const size_t second = first == std::string::npos ? first : line.find(':', first + 1);
    if (second == std::string::npos) continue;
    const std::string controllers = line.substr(first + 1, second - first - 1);
    const std::string group = line.substr(second + 1);
    if (line.compare(0, first, "0") == 0 && controllers.empty()) {
      TakeLeast(LeastGroupLimit(prefix, mountinfo, nullptr, group, "memory.max"), &least);
    } else if (HasWord(controllers, "memory")) {
      TakeLeast(LeastGroupLimit(prefix, mountinfo, "memory", group, "memory.limit_in_bytes"), &least);
    }
  }
  return least;
}

void TakeResourceLimit(const struct rlimit& limit, long long* least) {
  if (limit.rlim_cur != RLIM_INFINITY && limit.rlim_cur <= static_cast<rlim_t>(LLONG_MAX)) {
    TakeLeast(static_cast<long long>(limit.rlim_cur), least);
  }
}

}  // namespace

long long Sv_PlatformUsableMemory() {
  long long group = g_groupLimit.load();
  if (group == kUnread) {
    std::lock_guard<std::mutex> lock(g_groupMutex);
    group = g_groupLimit.load();
    if (group == kUnread) {
      group = ReadGroupLimit(g_systemRoot);
      g_groupLimit.store(group);
    }
  }
  long long least = 0;
  const long pages = sysconf(_SC_PHYS_PAGES);
  const long pageSize = sysconf(_SC_PAGESIZE);
  if (pages > 0 && pageSize > 0) TakeLeast(static_cast<long long>(pages) * pageSize, &least);
  TakeLeast(group, &least);
  struct rlimit limit;
  if (getrlimit(RLIMIT_AS, &limit) == 0) TakeResourceLimit(limit, &least);
  if (getrlimit(RLIMIT_DATA, &limit) == 0) TakeResourceLimit(limit, &least);
  return least;
}

void Sv_PlatformSetSystemRoot(const char* root) {
  std::lock_guard<std::mutex> lock(g_groupMutex);
  g_systemRoot = root ? root : "";
  while (!g_systemRoot.empty() && g_systemRoot.back() == '/') g_systemRoot.pop_back();
  g_groupLimit.store(kUnread);
}

double Sv_PlatformSeconds() {
  struct timespec ts;
  clock_gettime(CLOCK_MONOTONIC, &ts);
  return static_cast<double>(ts.tv_sec) + static_cast<double>(ts.tv_nsec) * 1e-9;
}
