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

#include <ftw.h>

#include "Sv_Debug.h"
#include "Sv_Platform.h"

namespace orvanta_test {

namespace {

int RemoveEntry(const char* path, const struct stat*, int, struct FTW*) { return ::remove(path); }

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
  if (mkdtemp(buf.data())) m_path = buf.data();
}

TempDir::~TempDir() {
  if (!m_path.empty()) nftw(m_path.c_str(), RemoveEntry, 16, FTW_DEPTH | FTW_PHYS);
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
