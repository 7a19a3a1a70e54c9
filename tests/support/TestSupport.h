#ifndef ORVANTA_TESTSUPPORT_H
#define ORVANTA_TESTSUPPORT_H

#include <signal.h>

#include <string>
#include <utility>
#include <vector>

#include "Sv_Workers.h"

namespace orvanta_test {

// A fresh directory below the system's temporary directory, removed with
// everything in it when the object goes, or when the process ends without
// running its destructors (it ends with _exit, it is killed).
class TempDir {
 public:
  TempDir();
  ~TempDir();
  TempDir(const TempDir&) = delete;
  TempDir& operator=(const TempDir&) = delete;
  const std::string& path() const { return m_path; }
  std::string file(const std::string& name) const { return m_path + "/" + name; }

 private:
  std::string m_path;
};

// Collects the messages that reach the Sv_Debug callback while it lives, and
// restores the previous callback and threshold afterwards. With level -1 the
// threshold is raised so that debug messages are collected too.
class MessageCapture {
 public:
  explicit MessageCapture(int threshold = -2);
  ~MessageCapture();
  const std::vector<std::pair<int, std::string>>& messages() const;
  bool Contains(const std::string& fragment) const;
  std::string All() const;
  void Clear();
};

// Sets or unsets an environment variable for the lifetime of the object.
class ScopedEnv {
 public:
  ScopedEnv(const char* name, const char* value);  // value null: unset
  ~ScopedEnv();

 private:
  std::string m_name;
  bool m_had;
  std::string m_old;
};

// While it lives, neither the machine's configuration folder nor its home
// folder of settings is found: the built-in defaults hold.
struct NoMachineSettings {
  ScopedEnv home{"WRUHOME", nullptr};
  ScopedEnv config{"WRUCONFIGURATIONS", nullptr};
};

std::string ReadFileBytes(const std::string& path);
bool WriteFileBytes(const std::string& path, const std::string& bytes);

// While it lives, the process's control-group files are read from a folder
// of its own that stands for "/" (Sv_PlatformSetSystemRoot): its
// /proc/self/cgroup and /proc/self/mountinfo hold the given text, and Write
// puts a file at a path given from "/" (its folders made). Afterwards the
// real files count again.
class FakeSystemRoot {
 public:
  FakeSystemRoot(const std::string& cgroup, const std::string& mountinfo);
  ~FakeSystemRoot();
  FakeSystemRoot(const FakeSystemRoot&) = delete;
  FakeSystemRoot& operator=(const FakeSystemRoot&) = delete;
  bool Write(const std::string& path, const std::string& text) const;

 private:
  TempDir m_dir;
};

// An access ACL as the file system keeps it ("system.posix_acl_access":
// version 2, then entries of tag, permissions and id): the owner and the
// mask may read and write, user 4103 may read and write, the owning group
// only reads, others nothing; on a file it stands for mode 0660. With
// forFolder, the same as a folder's default ACL, with execute added.
std::string NamedUserAcl(bool forFolder = false);
// The file's access ACL (or, with forFolder, a folder's default ACL), empty
// when it has none.
std::string GetAcl(const std::string& path, bool forFolder = false);
// Gives the file that ACL: false (errno ENOTSUP) where the file system keeps
// none.
bool SetAcl(const std::string& path, const std::string& acl, bool forFolder = false);

// The names in a directory, without "." and "..", sorted.
std::vector<std::string> ListDirectory(const std::string& path);

// While it lives, no file of this process can grow beyond the given size:
// a write past it fails with EFBIG (SIGXFSZ is ignored meanwhile), as on a
// full disk. The previous limit and signal action come back afterwards.
class FileSizeLimit {
 public:
  explicit FileSizeLimit(long long bytes);
  ~FileSizeLimit();
  FileSizeLimit(const FileSizeLimit&) = delete;
  FileSizeLimit& operator=(const FileSizeLimit&) = delete;
  bool ok() const { return m_ok; }

 private:
  bool m_ok;
  bool m_haveAction;
  unsigned long long m_oldSoft;
  struct sigaction m_oldAction;
};

// While it lives, the worker passes split from minShare items on among at
// most workers workers (1: every pass on the calling thread); the settings
// before come back afterwards.
class WorkerLimit {
 public:
  WorkerLimit(int workers, size_t minShare)
      : m_share(sv_workers::SetMinShare(workers > 1 ? minShare : 0)), m_limit(sv_workers::SetWorkerLimit(workers)) {}
  ~WorkerLimit() {
    sv_workers::SetMinShare(m_share);
    sv_workers::SetWorkerLimit(m_limit);
  }
  WorkerLimit(const WorkerLimit&) = delete;
  WorkerLimit& operator=(const WorkerLimit&) = delete;

 private:
  size_t m_share;
  int m_limit;
};

}  // namespace orvanta_test

#endif
