// The file history: four most-recently-used lists in one binary file.
#include "FileHistory.h"

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "Sv_AtomicFile.h"
#include "Sv_Debug.h"
#include "Sv_Stdio.h"
#include "Sv_Stdlib.h"

namespace {

const int kVersion = 1;
// A new file: the two header words, then zeros up to this size.
const int kNewFileBytes = 10440;

int ListDistance(int entries) { return entries * FileHistory::kSlotBytes + 4; }
int ListOffset(int list, int entries) { return FileHistory::kHeaderBytes + list * ListDistance(entries); }
int SlotOffset(int list, int index, int entries) {
  return ListOffset(list, entries) + 8 + index * FileHistory::kSlotBytes;
}
// Bytes a history of N entries per list needs: up to the end of the text
// area of the last list's last slot.
long long NeededBytes(int entries) {
  return static_cast<long long>(SlotOffset(FileHistory::kLists - 1, entries - 1, entries)) + 4 + FileHistory::kTextBytes;
}

// Little-endian 32-bit words, whatever this machine's order.
int GetWord(const std::vector<unsigned char>& b, long long at) {
  const uint32_t w = static_cast<uint32_t>(b[at]) | static_cast<uint32_t>(b[at + 1]) << 8 |
                     static_cast<uint32_t>(b[at + 2]) << 16 | static_cast<uint32_t>(b[at + 3]) << 24;
  int v;
  memcpy(&v, &w, 4);
  return v;
}
void PutWord(std::vector<unsigned char>* b, long long at, int v) {
  uint32_t w;
  memcpy(&w, &v, 4);
  for (int k = 0; k < 4; ++k) (*b)[at + k] = static_cast<unsigned char>(w >> (8 * k));
}

// Reports a problem with the history once per file and text.
void ReportOnce(int level, const char* format, const std::string& path) {
  char text[1200];
  snprintf(text, sizeof(text), format, path.c_str());
  Sv_Debug::MessageOnce((std::string(format) + path).c_str(), level, text);
}

std::string Slot(const std::vector<unsigned char>& b, int list, int index, int entries) {
  const long long at = SlotOffset(list, index, entries);
  const int length = GetWord(b, at);
  if (length < 0 || length > FileHistory::kMaxTextLength) return std::string();
  return std::string(reinterpret_cast<const char*>(&b[at + 4]), static_cast<size_t>(length)).c_str();
}

bool EndsInSeparator(const std::string& s) { return !s.empty() && (s.back() == '/' || s.back() == '\\'); }

}  // namespace

FileHistory::FileHistory(const char* path) : m_offsets{0, 0, 0, 0}, m_entry{} {
  if (path) {
    m_path = path;
  } else {
    // Without HOME there is no history; the program goes on.
    const char* home = getenv("HOME");
    if (!home || !*home) {
      Sv_Debug::MessageOnce("filehistory-home", SV_LEVEL_ERROR, "ERROR: Please set the $HOME environment variable");
    } else {
      m_home = home;
      char* name = Sv_UtlPrefFileName("filehistory", 0);
      if (name) m_path = name;
      free(name);
    }
  }
  if (!m_path.empty() && !Sv_UtlFileExists(m_path.c_str())) CreateHistoryFile();
  ComputeOffsets();
}

FileHistory* FileHistory::Instance() {
  static FileHistory* instance = nullptr;
  const char* home = getenv("HOME");
  const std::string now = home ? home : "";
  if (!instance || instance->m_home != now) {
    delete instance;
    instance = new FileHistory(nullptr);
  }
  return instance;
}

void FileHistory::CreateHistoryFile() {
  std::vector<unsigned char> bytes(kNewFileBytes, 0);
  PutWord(&bytes, 0, kVersion);
  PutWord(&bytes, 4, kDefaultEntries);
  Sv_AtomicFile file;
  FILE* f = file.Open(m_path.c_str(), 1);
  if (!f || fwrite(bytes.data(), 1, bytes.size(), f) != bytes.size() || file.Commit() != 0) {
    ReportOnce(SV_LEVEL_ERROR, "ERROR: Attempting to create file history file: %s\n", m_path);
  }
}

void FileHistory::ComputeOffsets() {
  std::vector<unsigned char> bytes;
  int entries = kDefaultEntries;
  if (!Load(&bytes, &entries)) entries = kDefaultEntries;
  for (int k = 0; k < kLists; ++k) m_offsets[k] = ListOffset(k, entries);
}

bool FileHistory::Load(std::vector<unsigned char>* bytes, int* entries) {
  if (m_path.empty()) return false;
  FILE* f = Sv_UtlOpenForReading(m_path.c_str(), SV_LEVEL_DEBUG);
  if (!f) {
    ReportOnce(SV_LEVEL_ERROR, "ERROR: Could not open file history file: %s\n", m_path);
    return false;
  }
  // No valid history is larger than one of the largest N.
  const size_t limit = static_cast<size_t>(NeededBytes(kMaxEntries)) + 4096;
  bytes->resize(limit + 1);
  const size_t got = fread(bytes->data(), 1, bytes->size(), f);
  fclose(f);
  bytes->resize(got);

  bool ok = got >= static_cast<size_t>(kHeaderBytes) && got <= limit;
  const int n = ok ? GetWord(*bytes, 4) : 0;
  ok = ok && n >= 1 && n <= kMaxEntries && static_cast<long long>(got) >= NeededBytes(n);
  for (int list = 0; ok && list < kLists; ++list) {
    const int count = GetWord(*bytes, ListOffset(list, n) + 4);
    ok = count >= 0 && count <= n;
    for (int i = 0; ok && i < count; ++i) {
      const int length = GetWord(*bytes, SlotOffset(list, i, n));
      ok = length >= 0 && length <= kMaxTextLength;
    }
  }
  if (!ok) {
    ReportOnce(SV_LEVEL_WARNING, "The file history %s is damaged or not a file history; it is kept as it is and not used.", m_path);
    return false;
  }
  *entries = n;
  return true;
}

bool FileHistory::Store(const std::vector<unsigned char>& bytes) {
  Sv_AtomicFile file;
  FILE* f = file.Open(m_path.c_str(), 1);
  if (!f || fwrite(bytes.data(), 1, bytes.size(), f) != bytes.size() || file.Commit() != 0) {
    ReportOnce(SV_LEVEL_ERROR, "ERROR: Could not open file history file: %s\n", m_path);
    return false;
  }
  return true;
}

const char* FileHistory::GetEntry(int index, int list) {
  std::vector<unsigned char> bytes;
  int n = 0;
  if (list < 0 || list >= kLists || !Load(&bytes, &n) || index < 0 || index >= n) return nullptr;
  const std::string text = Slot(bytes, list, index, n);
  snprintf(m_entry, sizeof(m_entry), "%s", text.c_str());
  return m_entry;
}

int FileHistory::GetCount(int list) {
  std::vector<unsigned char> bytes;
  int n = 0;
  if (list < 0 || list >= kLists || !Load(&bytes, &n)) return 0;
  return GetWord(bytes, ListOffset(list, n) + 4);
}

int FileHistory::GetMaxEntries() {
  std::vector<unsigned char> bytes;
  int n = 0;
  return Load(&bytes, &n) ? n : 0;
}

void FileHistory::ReadAllLists() {
  std::vector<unsigned char> bytes;
  int n = 0;
  if (!Load(&bytes, &n)) return;
  for (int list = 0; list < kLists; ++list) {
    for (int i = 0; i < n; ++i) {
      const std::string text = Slot(bytes, list, i, n);
      if (!text.empty()) snprintf(m_entry, sizeof(m_entry), "%s", text.c_str());
    }
  }
}

void FileHistory::Insert(std::vector<unsigned char>* bytes, int n, int list, const std::string& text) {
  const long long countAt = ListOffset(list, n) + 4;
  int count = GetWord(*bytes, countAt);
  std::vector<std::string> texts;
  for (int i = 0; i < count; ++i) texts.push_back(Slot(*bytes, list, i, n));
  // Only listed entries count: a stale slot beyond the count is not one.
  int found = -1;
  for (int i = 0; i < count; ++i) {
    if (texts[i] == text) found = i;
  }
  if (found < 0) {
    if (count < n) {
      ++count;
      texts.push_back(std::string());
    }
    found = count - 1;
  }
  for (int i = found; i > 0; --i) texts[i] = texts[i - 1];
  texts[0] = text;

  PutWord(bytes, countAt, count);
  for (int i = 0; i < count; ++i) {
    const long long at = SlotOffset(list, i, n);
    PutWord(bytes, at, static_cast<int>(texts[i].size()));
    memcpy(&(*bytes)[at + 4], texts[i].c_str(), texts[i].size() + 1);
  }
}

int FileHistory::AddAll(const std::vector<std::pair<int, std::string>>& items) {
  std::vector<unsigned char> bytes;
  int n = 0;
  if (!Load(&bytes, &n)) return -1;
  for (const auto& item : items) Insert(&bytes, n, item.first, item.second);
  return Store(bytes) ? 0 : -1;
}

int FileHistory::AddEntry(const char* text, int list) {
  if (!text || list < 0 || list >= kLists) return -1;
  if (strlen(text) > static_cast<size_t>(kMaxTextLength)) {
    Sv_Debug::Message(SV_LEVEL_DEBUG, "Filename too long for file history.");
    return -1;
  }
  return AddAll({{list, text}});
}

int FileHistory::AddDirectory(const char* dir) {
  if (!dir || !*dir) return -1;
  std::string d = dir;
  if (!EndsInSeparator(d)) d += '/';
  return AddEntry(d.c_str(), kDirectories);
}

int FileHistory::AddFile(const char* path, const char* filterPattern) {
  if (!path || !*path) return -1;
  std::vector<std::pair<int, std::string>> items;
  if (char* dir = Sv_UtlGetDirectory(path, 1)) {
    std::string d = dir;
    free(dir);
    if (!EndsInSeparator(d)) d += '/';
    if (d.size() <= static_cast<size_t>(kMaxTextLength)) items.push_back({kDirectories, d});
  }
  const char* ext = Sv_UtlGetExtension(path);
  const bool withPattern = filterPattern != nullptr;
  auto is = [&](const char* pattern, const char* extension) {
    return (withPattern && Sv_UtlStrCaseCmp(filterPattern, pattern) == 0) ||
           (ext && Sv_UtlStrCaseCmp(ext, extension) == 0);
  };
  if (strlen(path) > static_cast<size_t>(kMaxTextLength)) {
    Sv_Debug::Message(SV_LEVEL_DEBUG, "Filename too long for file history.");
  } else {
    if (is("*.sd", ".sd")) items.push_back({kDataFiles, path});
    items.push_back({is("*.scene", ".scene") ? kSceneFiles : kOtherFiles, path});
  }
  if (items.empty()) return -1;
  return AddAll(items);
}
