#include "TestSupport.h"

#include <algorithm>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <dirent.h>
#include <fstream>
#include <sstream>
#include <sys/resource.h>
#include <sys/stat.h>
#include <unistd.h>

#include <fcntl.h>
#include <sys/wait.h>
#include <sys/xattr.h>

#include <cerrno>
#include <mutex>
#include <set>

#include "Sv_Debug.h"
#include "Sv_Platform.h"

namespace orvanta_test {

namespace {

// Removes path and everything below it, whatever the modes of its folders
// (a test may leave one that its owner cannot read or write).
void RemoveTree(const std::string& path) {
  struct stat st;
  if (lstat(path.c_str(), &st) != 0) return;
  if (!S_ISDIR(st.st_mode)) {
    unlink(path.c_str());
    return;
  }
  if ((st.st_mode & S_IRWXU) != S_IRWXU) chmod(path.c_str(), (st.st_mode & 07777) | S_IRWXU);
  std::vector<std::string> names;
  if (DIR* d = opendir(path.c_str())) {
    while (dirent* e = readdir(d)) {
      const std::string name = e->d_name;
      if (name != "." && name != "..") names.push_back(name);
    }
    closedir(d);
  }
  for (const std::string& name : names) RemoveTree(path + "/" + name);
  rmdir(path.c_str());
}

// The folders are also known to a cleaner, a process of its own that
// removes every folder it was told of once no process holds the other end
// of its pipe: a process that ends without running destructors (a death
// test's child, a child that calls _exit, one that is killed) leaves
// nothing behind, nor does one whose last steps make a folder again (Qt
// stores its dialogs' settings in the home folder at exit). Forked
// children share the parent's cleaner and list their folders with it;
// programs started with exec do not hold its pipe.
int g_cleaner = -1;
std::mutex g_cleanerMutex;

[[noreturn]] void RunCleaner(int in) {
  // Of this process's descriptors it keeps only the pipe; it outlives a
  // Ctrl+C meant for the test.
  setsid();
  dup2(in, 3);
  const int null = open("/dev/null", O_RDWR);
  for (int fd = 0; fd < 3; ++fd) dup2(null, fd);
  close_range(4, ~0u, 0);
  std::set<std::string> folders;
  std::string pending;
  char buffer[4096];
  for (;;) {
    const ssize_t n = read(3, buffer, sizeof buffer);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) break;
    pending.append(buffer, static_cast<size_t>(n));
    for (size_t end; (end = pending.find('\n')) != std::string::npos; pending.erase(0, end + 1)) {
      if (end > 0) folders.insert(pending.substr(0, end));
    }
  }
  for (const std::string& folder : folders) RemoveTree(folder);
  _exit(0);
}

// Tells the cleaner, started at the first call, a folder to remove.
void TellCleaner(const std::string& path) {
  std::lock_guard<std::mutex> lock(g_cleanerMutex);
  if (g_cleaner < 0) {
    int ends[2];
    if (pipe2(ends, O_CLOEXEC) != 0) return;
    // Started through a child that ends at once, so the cleaner is no
    // child of this process for a test's wait to meet.
    const pid_t child = fork();
    if (child == 0) {
      close(ends[1]);
      if (fork() == 0) RunCleaner(ends[0]);
      _exit(0);
    }
    close(ends[0]);
    int status = 0;
    if (child < 0 || waitpid(child, &status, 0) != child) {
      close(ends[1]);
      return;
    }
    g_cleaner = ends[1];
  }
  const std::string line = path + "\n";
  (void)!write(g_cleaner, line.data(), line.size());
}

std::vector<std::pair<int, std::string>> g_messages;
bool g_capturing = false;
Sv_Debug::Callback g_previous = nullptr;
int g_previousLevel = -2;

void Collect(int level, const char* text) { g_messages.emplace_back(level, text ? text : ""); }

}  // namespace

TempDir::TempDir() {
  const char* base = getenv("TMPDIR");
  std::string tmpl = std::string(base && *base ? base : "/tmp") + "/orvanta-test-XXXXXX";
  std::vector<char> buf(tmpl.begin(), tmpl.end());
  buf.push_back('\0');
  if (mkdtemp(buf.data())) {
    m_path = buf.data();
    TellCleaner(m_path);
  }
}

TempDir::~TempDir() {
  if (!m_path.empty()) RemoveTree(m_path);
}

MessageCapture::MessageCapture(int threshold) {
  g_previous = Sv_Debug::GetCallback();
  g_previousLevel = Sv_Debug::GetLevel();
  g_messages.clear();
  g_capturing = true;
  Sv_Debug::SetCallback(Collect);
  Sv_Debug::SetLevel(threshold);
}

MessageCapture::~MessageCapture() {
  Sv_Debug::SetCallback(g_previous);
  Sv_Debug::SetLevel(g_previousLevel);
  g_capturing = false;
}

const std::vector<std::pair<int, std::string>>& MessageCapture::messages() const { return g_messages; }

bool MessageCapture::Contains(const std::string& fragment) const {
  for (const auto& m : g_messages) {
    if (m.second.find(fragment) != std::string::npos) return true;
  }
  return false;
}

std::string MessageCapture::All() const {
  std::string s;
  for (const auto& m : g_messages) s += std::to_string(m.first) + " " + m.second + "\n";
  return s;
}

void MessageCapture::Clear() { g_messages.clear(); }

ScopedEnv::ScopedEnv(const char* name, const char* value) : m_name(name), m_had(false) {
  if (const char* old = getenv(name)) {
    m_had = true;
    m_old = old;
  }
  if (value) {
    setenv(name, value, 1);
  } else {
    unsetenv(name);
  }
}

ScopedEnv::~ScopedEnv() {
  if (m_had) {
    setenv(m_name.c_str(), m_old.c_str(), 1);
  } else {
    unsetenv(m_name.c_str());
  }
}

std::string ReadFileBytes(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  std::ostringstream ss;
  ss << in.rdbuf();
  return ss.str();
}

bool WriteFileBytes(const std::string& path, const std::string& bytes) {
  std::ofstream out(path, std::ios::binary);
  out.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
  return static_cast<bool>(out);
}

FakeSystemRoot::FakeSystemRoot(const std::string& cgroup, const std::string& mountinfo) {
  Write("/proc/self/cgroup", cgroup);
  Write("/proc/self/mountinfo", mountinfo);
  Sv_PlatformSetSystemRoot(m_dir.path().c_str());
}

FakeSystemRoot::~FakeSystemRoot() { Sv_PlatformSetSystemRoot(nullptr); }

bool FakeSystemRoot::Write(const std::string& path, const std::string& text) const {
  for (size_t slash = path.find('/', 1); slash != std::string::npos; slash = path.find('/', slash + 1)) {
    mkdir((m_dir.path() + path.substr(0, slash)).c_str(), 0755);
  }
  return WriteFileBytes(m_dir.path() + path, text);
}

namespace {
const char* AclName(bool forFolder) { return forFolder ? "system.posix_acl_default" : "system.posix_acl_access"; }
}  // namespace

std::string NamedUserAcl(bool forFolder) {
  const unsigned x = forFolder ? 1 : 0, none = 0xFFFFFFFFu;
  const unsigned entries[][3] = {{0x01, 6 | x, none}, {0x02, 6 | x, 4103}, {0x04, 4 | x, none},
                                 {0x10, 6 | x, none}, {0x20, 0, none}};
  std::string bytes;
  auto put = [&](unsigned v, int size) {
    for (int i = 0; i < size; ++i) bytes += static_cast<char>((v >> (8 * i)) & 0xFF);
  };
  put(2, 4);
  for (const auto& e : entries) {
    put(e[0], 2);
    put(e[1], 2);
    put(e[2], 4);
  }
  return bytes;
}

std::string GetAcl(const std::string& path, bool forFolder) {
  char buffer[1024];
  const ssize_t n = getxattr(path.c_str(), AclName(forFolder), buffer, sizeof buffer);
  return n > 0 ? std::string(buffer, static_cast<size_t>(n)) : std::string();
}

bool SetAcl(const std::string& path, const std::string& acl, bool forFolder) {
  return setxattr(path.c_str(), AclName(forFolder), acl.data(), acl.size(), 0) == 0;
}

std::vector<std::string> ListDirectory(const std::string& path) {
  std::vector<std::string> names;
  DIR* d = opendir(path.c_str());
  if (!d) return names;
  while (dirent* e = readdir(d)) {
    const std::string name = e->d_name;
    if (name != "." && name != "..") names.push_back(name);
  }
  closedir(d);
  std::sort(names.begin(), names.end());
  return names;
}

FileSizeLimit::FileSizeLimit(long long bytes) : m_ok(false), m_haveAction(false), m_oldSoft(0), m_oldAction() {
  struct rlimit lim;
  if (bytes < 0 || getrlimit(RLIMIT_FSIZE, &lim) != 0) return;
  if (lim.rlim_max != RLIM_INFINITY && static_cast<rlim_t>(bytes) > lim.rlim_max) return;
  struct sigaction ignore;
  memset(&ignore, 0, sizeof ignore);
  ignore.sa_handler = SIG_IGN;
  sigemptyset(&ignore.sa_mask);
  if (sigaction(SIGXFSZ, &ignore, &m_oldAction) != 0) return;
  m_haveAction = true;
  m_oldSoft = lim.rlim_cur;
  lim.rlim_cur = static_cast<rlim_t>(bytes);
  m_ok = setrlimit(RLIMIT_FSIZE, &lim) == 0;
}

FileSizeLimit::~FileSizeLimit() {
  struct rlimit lim;
  if (m_ok && getrlimit(RLIMIT_FSIZE, &lim) == 0) {
    lim.rlim_cur = static_cast<rlim_t>(m_oldSoft);
    setrlimit(RLIMIT_FSIZE, &lim);
  }
  if (m_haveAction) sigaction(SIGXFSZ, &m_oldAction, nullptr);
}

}  // namespace orvanta_test
