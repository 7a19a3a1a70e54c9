#include "Sv_Platform.h"

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <string>
#include <sys/mman.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <time.h>
#include <unistd.h>

extern char** environ;

namespace {

pid_t WaitFor(pid_t pid, int* status) {
  pid_t r;
  do {
    r = waitpid(pid, status, 0);
  } while (r < 0 && errno == EINTR);
  return r;
}

}  // namespace

int Sv_PlatformRunProcess(const char* command, int wait) {
  if (!command) return -1;
  char shell[] = "/bin/sh";
  char dashC[] = "-c";
  std::string cmd(command);
  char* argv[] = {shell, dashC, &cmd[0], nullptr};

  if (wait) {
    pid_t pid = fork();
    if (pid < 0) return -1;
    if (pid == 0) {
      execve(shell, argv, environ);
      _exit(127);
    }
    int status = 0;
    if (WaitFor(pid, &status) < 0) return -1;
    if (WIFEXITED(status)) return WEXITSTATUS(status);
    return -1;
  }

  // Detached start: an intermediate child forks the command and exits at
  // once, so the command is adopted by init and reaped there. A close-on-exec
  // pipe tells whether the exec itself succeeded.
  int fds[2];
  if (pipe2(fds, O_CLOEXEC) != 0) return -1;
  pid_t pid = fork();
  if (pid < 0) {
    close(fds[0]);
    close(fds[1]);
    return -1;
  }
  if (pid == 0) {
    close(fds[0]);
    pid_t grandchild = fork();
    if (grandchild < 0) {
      int e = errno;
      ssize_t ignored = write(fds[1], &e, sizeof(e));
      (void)ignored;
      _exit(1);
    }
    if (grandchild == 0) {
      setsid();
      execve(shell, argv, environ);
      int e = errno;
      ssize_t ignored = write(fds[1], &e, sizeof(e));
      (void)ignored;
      _exit(127);
    }
    _exit(0);
  }
  close(fds[1]);
  int status = 0;
  WaitFor(pid, &status);
  int err = 0;
  ssize_t n;
  do {
    n = read(fds[0], &err, sizeof(err));
  } while (n < 0 && errno == EINTR);
  close(fds[0]);
  if (n > 0) return -1;
  return 0;
}

void Sv_PlatformExit(int code) { _exit(code); }

int Sv_PlatformShmAttach(const char* name, long size, void** view, size_t* viewSize, int* fd) {
  *view = nullptr;
  *viewSize = 0;
  *fd = -1;
  if (!name || !*name) return -1;
  std::string posixName = name[0] == '/' ? std::string(name) : "/" + std::string(name);
  int d = shm_open(posixName.c_str(), O_RDWR, 0);
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
  void* p = mmap(nullptr, want, PROT_READ | PROT_WRITE, MAP_SHARED, d, 0);
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

int Sv_PlatformMakeDirectory(const char* path) {
  if (!path || !*path) return -1;
  if (mkdir(path, 0755) == 0) return 0;
  struct stat st;
  if (errno == EEXIST && stat(path, &st) == 0 && S_ISDIR(st.st_mode)) return 0;
  return -1;
}

void* Sv_PlatformAllocLarge(size_t bytes) {
  const size_t kHugePage = 2u << 20;
  if (bytes < kHugePage) return malloc(bytes ? bytes : 1);
  void* p = nullptr;
  if (posix_memalign(&p, kHugePage, bytes) != 0) return nullptr;
  madvise(p, bytes, MADV_HUGEPAGE);
  return p;
}

double Sv_PlatformSeconds() {
  struct timespec ts;
  clock_gettime(CLOCK_MONOTONIC, &ts);
  return static_cast<double>(ts.tv_sec) + static_cast<double>(ts.tv_nsec) * 1e-9;
}
