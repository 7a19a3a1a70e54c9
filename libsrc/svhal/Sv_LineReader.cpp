#include "Sv_LineReader.h"

#include <cerrno>
#include <cstring>

#include "Sv_Debug.h"
#include "Sv_Platform.h"

namespace {

// Bytes read from the file at a time.
constexpr size_t kBlock = 64 * 1024;

}  // namespace

Sv_LineReader::~Sv_LineReader() { Close(); }

void Sv_LineReader::Close() {
  if (m_fd >= 0) Sv_PlatformCloseHandle(m_fd);
  m_fd = -1;
  m_left = 0;
  m_pos = m_end = 0;
  m_buffer.clear();
  m_buffer.shrink_to_fit();
}

bool Sv_LineReader::Open(const char* path, long long maxBytes) {
  Close();
  m_stopped = false;
  m_path = path ? path : "";
  const int fd = Sv_PlatformOpenRegularDescriptor(path);
  if (fd < 0) {
    const int e = errno;
    if (e == EINVAL && path && *path) {
      Sv_Debug::Message(SV_LEVEL_WARNING, "ERROR:  Not a regular file that can be read", path);
    }
    errno = e;
    return false;
  }
  const long long size = Sv_PlatformDescriptorSize(fd);
  if (size < 0 || size > maxBytes) {
    Sv_PlatformCloseHandle(fd);
    if (size >= 0) {
      const std::string text = "ERROR:  File too large to read (more than " + std::to_string(maxBytes) + " bytes)";
      Sv_Debug::Message(SV_LEVEL_WARNING, text.c_str(), path);
    }
    errno = EFBIG;
    return false;
  }
  m_fd = fd;
  m_left = size;
  m_offset = 0;
  return true;
}

bool Sv_LineReader::Fill() {
  if (m_fd < 0 || m_left <= 0) return false;
  if (m_buffer.empty()) m_buffer.resize(kBlock);
  const size_t want = m_left < static_cast<long long>(kBlock) ? static_cast<size_t>(m_left) : kBlock;
  const long long got = Sv_PlatformReadAt(m_fd, m_buffer.data(), want, m_offset);
  if (got <= 0) {
    // A file that shrank or cannot be read ends here.
    m_left = 0;
    return false;
  }
  m_offset += got;
  m_left -= got;
  m_pos = 0;
  m_end = static_cast<size_t>(got);
  return true;
}

bool Sv_LineReader::ReadLine(std::string* line, size_t maxChars) {
  line->clear();
  if (m_stopped) return false;
  bool any = false;
  long long skipped = 0;
  for (;;) {
    if (m_pos == m_end && !Fill()) break;
    any = true;
    const char* at = m_buffer.data() + m_pos;
    const size_t n = m_end - m_pos;
    const char* newline = static_cast<const char*>(memchr(at, '\n', n));
    const size_t length = newline ? static_cast<size_t>(newline - at) : n;
    const size_t room = maxChars > line->size() ? maxChars - line->size() : 0;
    const size_t keep = length < room ? length : room;
    line->append(at, keep);
    skipped += static_cast<long long>(length - keep);
    m_pos += length + (newline ? 1 : 0);
    if (newline) break;
    if (skipped > kSkipBytes) {
      m_stopped = true;
      line->clear();
      Sv_Debug::Message(SV_LEVEL_WARNING, "ERROR:  Line too long, the rest of the file is not read", m_path.c_str());
      Close();
      return false;
    }
  }
  if (!any) return false;
  if (!line->empty() && line->back() == '\r') line->pop_back();
  return true;
}

bool Sv_LineReader::ReadValueLine(std::string* line, size_t maxChars) {
  while (ReadLine(line, maxChars)) {
    if (line->empty() || (*line)[0] != '#') return true;
  }
  return false;
}
