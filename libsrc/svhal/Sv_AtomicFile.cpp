#include "Sv_AtomicFile.h"

#include <cerrno>
#include <cstring>

#include "Sv_Debug.h"
#include "Sv_Platform.h"

namespace {

// Renaming over the target replaces whatever it is; only a regular file (or
// no file yet) may be replaced. A named pipe, a device, a directory or a
// socket, also at the end of a chain of links, is reported by name and kind
// (or, with kept given, its kind handed to the caller there) and left as it
// is (a device node replaced by a plain file is lost). True when the target
// is refused; errno is then EINVAL.
bool RefusedTarget(const std::string& path, const std::string& target, std::string* kept = nullptr) {
  const char* kind = Sv_PlatformNonRegularKind(target.c_str());
  if (!kind) return false;
  std::string what = target + " is a " + kind;
  if (target != path) what = path + " names " + what;
  if (kept) {
    *kept = std::string(target != path ? "it names a " : "it is a ") + kind;
  } else {
    Sv_Debug::Message(SV_LEVEL_WARNING, "Only a regular file is replaced, this one is left as it is", what.c_str());
  }
  errno = EINVAL;
  return true;
}

}  // namespace

Sv_AtomicFile::Sv_AtomicFile() : m_file(nullptr), m_lock(-1) {}

Sv_AtomicFile::~Sv_AtomicFile() { Discard(); }

FILE* Sv_AtomicFile::Open(const char* path, int binary, std::string* kept) {
  if (kept) kept->clear();
  if (m_file || !path || !*path) return nullptr;
  std::string target = Sv_PlatformWriteTarget(path);
  std::string temporary;
  FILE* file = nullptr;
  bool ownerRefused = false;
  if (!target.empty() && RefusedTarget(path, target, kept)) return nullptr;
  if (!target.empty()) {
    // What a write killed before its rename left beside the file goes now.
    Sv_PlatformRemoveStaleTemporaries(target.c_str());
    file = Sv_PlatformCreateTemporary(target.c_str(), binary, &temporary, &m_lock, &ownerRefused);
  }
  if (ownerRefused) {
    // Another user's file (or one of a group this user is not a member of)
    // would pass to this user: it is kept as it is.
    const char reason[] = "its owner and group cannot be kept";
    if (kept) {
      *kept = reason;
    } else {
      const std::string why = std::string(path) + " (" + reason + ")";
      Sv_Debug::Message(SV_LEVEL_WARNING, "A file is replaced only with its owner and group, this one is left as it is",
                        why.c_str());
    }
    errno = EPERM;
    return nullptr;
  }
  if (!file) {
    const std::string why = std::string(path) + " (" + strerror(errno) + ")";
    Sv_Debug::Message(SV_LEVEL_DEBUG, "Cannot start writing", why.c_str());
    return nullptr;
  }
  m_file = file;
  m_path = path;
  m_target.swap(target);
  m_temporary.swap(temporary);
  return m_file;
}

int Sv_AtomicFile::Commit() {
  if (!m_file) return -1;
  FILE* file = m_file;
  m_file = nullptr;
  int rc = Sv_PlatformSyncAndClose(file);
  // Looked at again: the target may have changed since Open.
  const bool refused = rc == 0 && RefusedTarget(m_path, m_target);
  if (rc == 0 && !refused) {
    // Only now, with its data on the device, does the file no longer read
    // as the leftover of a killed write: one killed in the flush or the sync
    // is still marked, and the next Open removes it.
    Sv_PlatformUnmarkTemporary(m_lock);
    rc = Sv_PlatformReplaceFile(m_temporary.c_str(), m_target.c_str());
  }
  if (refused) {
    Sv_PlatformRemoveFile(m_temporary.c_str());
    rc = -1;
  } else if (rc == -2) {
    // The new contents are in place, but not yet safe from a crash.
    const std::string why = m_path + " (" + strerror(errno) + ")";
    Sv_Debug::Message(SV_LEVEL_WARNING, "The file was written, but its folder could not be synced", why.c_str());
  } else if (rc != 0) {
    const int error = errno;
    const std::string why = m_path + " (" + strerror(error) + ")";
    Sv_PlatformRemoveFile(m_temporary.c_str());
    // The callers say what could not be stored; a file-size limit, which
    // only the user can lift, is said here as well, since a file written
    // on closing (the options, the history) has no one else to say it.
    Sv_Debug::Message(error == EFBIG ? SV_LEVEL_WARNING : SV_LEVEL_DEBUG, "Writing failed, the old file is kept",
                      why.c_str());
  }
  Reset();
  return rc == 0 ? 0 : -1;
}

void Sv_AtomicFile::Discard() {
  if (!m_file) return;
  fclose(m_file);
  m_file = nullptr;
  Sv_PlatformRemoveFile(m_temporary.c_str());
  Reset();
}

void Sv_AtomicFile::Reset() {
  Sv_PlatformCloseHandle(m_lock);
  m_lock = -1;
  m_path.clear();
  m_target.clear();
  m_temporary.clear();
}
