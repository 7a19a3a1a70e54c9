#include "TDR_Payload.h"

#include <cstring>
#include <vector>

#include "Sv_Stdio.h"
#include "TDR_Manager.h"

TDR_PayloadReader::TDR_PayloadReader(TDR_Manager* manager)
    : m_manager(manager), m_ok(manager != nullptr && manager->GetFilePtr() != nullptr) {}

long long TDR_PayloadReader::Left() const { return m_manager ? m_manager->GetTagBytesLeft() : 0; }

bool TDR_PayloadReader::Read(void* buffer, int elementSize, int count) {
  if (!m_ok) return false;
  if (count == 0) return true;
  if (!buffer || elementSize < 1 || count < 0 ||
      static_cast<long long>(elementSize) * count > Left()) {
    m_ok = false;
    return false;
  }
  if (Sv_UtlFread(buffer, elementSize, count, m_manager->GetFilePtr(), m_manager->GetByteOrder()) != count) {
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

bool TDR_PayloadWriter::CountedText(const char* text) {
  if (!text) text = "";
  const int n = static_cast<int>(strlen(text));
  return Int32(n) && Bytes(text, n);
}
