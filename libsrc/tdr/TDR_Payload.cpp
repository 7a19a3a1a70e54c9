#include "TDR_Payload.h"

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <sys/mman.h>
#include <unistd.h>
#include <vector>

#include "Sv_Colour.h"
#include "Sv_Stdio.h"
#include "Sv_Workers.h"
#include "TDR_Manager.h"
#include "TDR_Scalar.h"

namespace {

// Longest run of rows read or written in one call.
constexpr long long kMaxRunBytes = 1LL << 30;

// Bytes of rowCount rows of count elements, or -1 for sizes that make none.
long long RowBytes(int elementSize, int count) {
  if (elementSize < 1 || count < 0) return -1;
  return static_cast<long long>(elementSize) * count;
}

// Rows from rows[first] on that follow one another in memory, at most
// kMaxRunBytes together.
int RunLength(const void* const* rows, int first, int rowCount, long long rowBytes) {
  int n = 1;
  const unsigned char* end = static_cast<const unsigned char*>(rows[first]) + rowBytes;
  while (first + n < rowCount && rows[first + n] == end && (n + 1) * rowBytes <= kMaxRunBytes) {
    end += rowBytes;
    ++n;
  }
  return n;
}

// Large blocks are read by the workers, each its part with pread on the
// stream's descriptor: copying them out of the page cache then runs on
// every core. A worker's part is at least 32 bytes for each item of the
// workers' least share (2 MiB by default).
size_t ReadShareBytes() { return sv_workers::MinShare() * 32; }

// Whether every page of the block is backed already (memory used before,
// kept by the heap). Filling fresh memory costs a page fault and a cleared
// page for each page; faults from several threads at once wait on one
// another (in a virtual machine, on the host as well), so fresh blocks are
// read by one thread.
bool Backed(const void* block, size_t bytes) {
  const uintptr_t page = static_cast<uintptr_t>(sysconf(_SC_PAGESIZE));
  const uintptr_t first = reinterpret_cast<uintptr_t>(block) & ~(page - 1);
  const size_t span = reinterpret_cast<uintptr_t>(block) + bytes - first;
  std::vector<unsigned char> resident((span + page - 1) / page);
  if (mincore(reinterpret_cast<void*>(first), span, resident.data()) != 0) return false;
  return std::all_of(resident.begin(), resident.end(), [](unsigned char r) { return (r & 1) != 0; });
}

// Reads bytes at the stream's position into buffer on the workers and moves
// the stream past them; false (the stream's position unchanged) when the
// block is too small to share, lies in fresh memory, or any part cannot be
// read whole (e.g. from a stream that cannot be read at a position).
bool ReadOnWorkers(FILE* file, void* buffer, long long bytes) {
  const size_t share = ReadShareBytes();
  const size_t size = static_cast<size_t>(bytes);
  // WorkerCount counts items in least shares: a part of share bytes is one.
  const int workers = sv_workers::WorkerCount(size / share * sv_workers::MinShare());
  if (workers < 2 || !Backed(buffer, size)) return false;
  const off_t start = ftello(file);
  const int fd = fileno(file);
  if (start < 0 || fd < 0) return false;
  std::atomic<bool> whole{true};
  unsigned char* out = static_cast<unsigned char*>(buffer);
  const bool ran = sv_workers::RunShares(size, workers, [&](int, size_t from, size_t to) {
    while (from < to && whole.load(std::memory_order_relaxed)) {
      const ssize_t got = pread(fd, out + from, to - from, start + static_cast<off_t>(from));
      if (got < 0 && errno == EINTR) continue;
      if (got <= 0) {
        whole = false;
        return;
      }
      from += static_cast<size_t>(got);
    }
  });
  return ran && whole && fseeko(file, start + static_cast<off_t>(size), SEEK_SET) == 0;
}

}  // namespace

TDR_PayloadReader::TDR_PayloadReader(TDR_Manager* manager)
    : m_manager(manager), m_ok(manager != nullptr && manager->GetFilePtr() != nullptr) {}

long long TDR_PayloadReader::Left() const { return m_manager ? m_manager->GetTagBytesLeft() : 0; }

int TDR_PayloadReader::TagVersion() const { return m_manager ? m_manager->GetTagVersion() : 0; }

bool TDR_PayloadReader::SkipFormatNumber() {
  if (TagVersion() != 0) return m_ok;
  float format = 0.0f;
  return Float32(&format);
}

bool TDR_PayloadReader::Rows(void* const* rows, int elementSize, int count, int rowCount) {
  if (!m_ok) return false;
  const long long rowBytes = RowBytes(elementSize, count);
  if (!rows || rowBytes < 0 || rowCount < 0 || (rowBytes > 0 && rowCount > Left() / rowBytes)) {
    m_ok = false;
    return false;
  }
  if (rowBytes == 0) return true;
  for (int r = 0; r < rowCount; ++r) {
    if (!rows[r]) {
      m_ok = false;
      return false;
    }
  }
  for (int r = 0; r < rowCount && m_ok;) {
    const int n = RunLength(rows, r, rowCount, rowBytes);
    Read(rows[r], elementSize, count * n);
    r += n;
  }
  return m_ok;
}

bool TDR_PayloadReader::Scalar(TDR_Scalar* scalar) {
  if (!m_ok || !scalar || scalar->Read(*this) != 0) m_ok = false;
  return m_ok;
}

bool TDR_PayloadReader::ColourMap(unsigned int* colours) {
  if (TagVersion() == 0) Skip(4);
  unsigned char rgb[3 * kColourMapSize];
  if (!colours || !Bytes(rgb, sizeof rgb)) {
    m_ok = false;
    return false;
  }
  for (int i = 0; i < kColourMapSize; ++i) {
    colours[i] = PackColour(rgb[3 * i], rgb[3 * i + 1], rgb[3 * i + 2], 255);
  }
  return true;
}

bool TDR_PayloadReader::Read(void* buffer, int elementSize, int count) {
  if (!m_ok) return false;
  if (count == 0) return true;
  if (!buffer || elementSize < 1 || count < 0 ||
      static_cast<long long>(elementSize) * count > Left()) {
    m_ok = false;
    return false;
  }
  FILE* file = m_manager->GetFilePtr();
  const long long bytes = static_cast<long long>(elementSize) * count;
  if (bytes >= 4 * static_cast<long long>(ReadShareBytes()) && ReadOnWorkers(file, buffer, bytes)) {
    if (elementSize > 1 && Sv_UtlNeedsSwap(m_manager->GetByteOrder())) Sv_UtlSwapBytes(buffer, elementSize, count);
    return m_ok;
  }
  if (Sv_UtlFread(buffer, elementSize, count, file, m_manager->GetByteOrder()) != count) {
    m_ok = false;
  }
  return m_ok;
}

bool TDR_PayloadReader::Text(char* out, int size, int length) {
  if (!m_ok) return false;
  if (!out || size < 1 || length < 0 || length > Left()) {
    m_ok = false;
    return false;
  }
  const int keep = length < size - 1 ? length : size - 1;
  if (!Bytes(out, keep)) return false;
  out[keep] = '\0';
  return Skip(length - keep);
}

bool TDR_PayloadReader::CountedText(char* out, int size) {
  int length = 0;
  if (!Int32(&length)) return false;
  return Text(out, size, length);
}

bool TDR_PayloadReader::Skip(long long count) {
  if (!m_ok) return false;
  if (count == 0) return true;
  if (count < 0 || count > Left() || fseek(m_manager->GetFilePtr(), static_cast<long>(count), SEEK_CUR) != 0) {
    m_ok = false;
  }
  return m_ok;
}

TDR_PayloadWriter::TDR_PayloadWriter(TDR_Manager* manager)
    : m_manager(manager), m_ok(manager != nullptr && manager->GetFilePtr() != nullptr) {}

bool TDR_PayloadWriter::Write(const void* buffer, int elementSize, int count) {
  if (!m_ok) return false;
  if (count == 0) return true;
  if (!buffer || elementSize < 1 || count < 0 ||
      Sv_UtlFwriteCopy(buffer, elementSize, count, m_manager->GetFilePtr(), m_manager->GetByteOrder()) != count) {
    m_ok = false;
  }
  return m_ok;
}

bool TDR_PayloadWriter::Rows(const void* const* rows, int elementSize, int count, int rowCount) {
  if (!m_ok) return false;
  const long long rowBytes = RowBytes(elementSize, count);
  if (!rows || rowBytes < 0 || rowCount < 0) {
    m_ok = false;
    return false;
  }
  if (rowBytes == 0) return true;
  for (int r = 0; r < rowCount && m_ok;) {
    if (!rows[r]) {
      m_ok = false;
      break;
    }
    const int n = RunLength(rows, r, rowCount, rowBytes);
    Write(rows[r], elementSize, count * n);
    r += n;
  }
  return m_ok;
}

bool TDR_PayloadWriter::ColourMap(const unsigned int* colours) {
  if (!colours) {
    m_ok = false;
    return false;
  }
  if (m_manager->GetTagVersion() == 0) Int32(0);
  unsigned char rgb[3 * TDR_PayloadReader::kColourMapSize];
  for (int i = 0; i < TDR_PayloadReader::kColourMapSize; ++i) {
    rgb[3 * i] = static_cast<unsigned char>(ColourRed(colours[i]));
    rgb[3 * i + 1] = static_cast<unsigned char>(ColourGreen(colours[i]));
    rgb[3 * i + 2] = static_cast<unsigned char>(ColourBlue(colours[i]));
  }
  return Bytes(rgb, sizeof rgb);
}

bool TDR_PayloadWriter::CountedText(const char* text) {
  if (!text) text = "";
  const int n = static_cast<int>(strlen(text));
  return Int32(n) && Bytes(text, n);
}
