#include "TDR_Manager.h"

#include <algorithm>
#include <climits>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <iterator>
#include <sys/stat.h>

#include "Sv_Debug.h"
#include "Sv_Platform.h"
#include "Sv_Stdio.h"
#include "Sv_Stdlib.h"

namespace {

const char kEndMark[] = "END_HEADER";
const char kWhere[] = "TDR_Manager::ReadTag";

struct TagEntry {
  int id;
  const char* name;
};

#define TDR_TAG_TABLE_ENTRY(name, id) {id, #name},
const TagEntry kTagTable[] = {TDR_TAG_LIST(TDR_TAG_TABLE_ENTRY)};
#undef TDR_TAG_TABLE_ENTRY

const TagEntry* FindTag(int id) {
  // The list is in ascending id order (checked by the tests), so a binary
  // search finds an entry.
  const TagEntry* begin = std::begin(kTagTable);
  const TagEntry* end = std::end(kTagTable);
  const TagEntry* it = std::lower_bound(begin, end, id, [](const TagEntry& e, int v) { return e.id < v; });
  return (it != end && it->id == id) ? it : nullptr;
}

// What decides whether a named file is followed, per reading thread.
thread_local TDR_Manager::FollowCheck t_followCheck = nullptr;

// Header fields are decoded byte by byte in the order the header names, so
// the decoding does not depend on this machine's byte order.
unsigned int Decode(const unsigned char* p, int bytes, int byteOrder) {
  unsigned int v = 0;
  for (int i = 0; i < bytes; ++i) {
    const int k = byteOrder ? bytes - 1 - i : i;
    v = (v << 8) | p[k];
  }
  return v;
}

void Encode(unsigned char* p, unsigned int v, int bytes, int byteOrder) {
  for (int i = 0; i < bytes; ++i) {
    const int k = byteOrder ? i : bytes - 1 - i;
    p[k] = static_cast<unsigned char>(v & 0xFFu);
    v >>= 8;
  }
}

long long FileSize(FILE* file) {
  struct stat st;
  if (fstat(fileno(file), &st) != 0 || !S_ISREG(st.st_mode)) return -1;
  return static_cast<long long>(st.st_size);
}

// Streams of large files get a larger buffer than stdio's default of one
// block. Reads of rows of a few kilobytes are then copied from a buffer that
// stays in the processor's cache, instead of costing one or two system calls
// each (the default buffer splits every read that is not block-aligned).
// Small files keep the default, so no buffer exceeds the file's size.
constexpr long long kReadBuffer = 262144;

char* LargeBuffer(FILE* file, long long fileSize) {
  if (fileSize <= kReadBuffer) return nullptr;
  char* buffer = static_cast<char*>(malloc(static_cast<size_t>(kReadBuffer)));
  if (buffer && setvbuf(file, buffer, _IOFBF, static_cast<size_t>(kReadBuffer)) != 0) {
    free(buffer);
    buffer = nullptr;
  }
  return buffer;
}

bool SameFile(FILE* a, FILE* b) {
  struct stat sa, sb;
  if (fstat(fileno(a), &sa) != 0 || fstat(fileno(b), &sb) != 0) return false;
  return sa.st_dev == sb.st_dev && sa.st_ino == sb.st_ino;
}

std::string BaseName(const std::string& path) {
  const size_t sep = path.find_last_of("/\\");
  return sep == std::string::npos ? path : path.substr(sep + 1);
}

// Reads one header line of at most maxLine characters into line, without
// its line break (and without a '\r' before it). false at the end of the
// file or when the line is too long.
bool ReadLine(FILE* file, std::string* line, int maxLine, long long* budget) {
  line->clear();
  for (;;) {
    const int c = getc(file);
    if (c == EOF) return false;
    if (--*budget < 0) return false;
    if (c == '\n') break;
    if (static_cast<int>(line->size()) >= maxLine) return false;
    line->push_back(static_cast<char>(c));
  }
  if (!line->empty() && line->back() == '\r') line->pop_back();
  return true;
}

}  // namespace

TDR_Manager::TDR_Manager()
    : m_depth(0),
      m_suspendedEndTag(-1),
      m_writing(false),
      m_binary(true),
      m_class("TDR"),
      m_version("2.0"),
      m_tag(TDR_TAG_ERROR),
      m_tagLength(0),
      m_tagVersion(1),
      m_byteOrder(1),
      m_tagFlag(0),
      m_headerPos(-1),
      m_payloadEnd(0),
      m_recordedEnd(0),
      m_haveHeader(false),
      m_writeOrder(1),
      m_writtenHeader(-1),
      m_resumable(false),
      m_damagedHeader(false),
      m_damagedTag(TDR_TAG_ERROR),
      m_endedEarlyAt(-1),
      m_followed(0),
      m_leftFollowed(false),
      m_leftTag(TDR_TAG_ERROR),
      m_lastErrorLevel(0) {}

TDR_Manager::~TDR_Manager() {
  if (m_output.IsOpen()) {
    DiscardFile();
  } else if (m_levels[0].file) {
    CloseFile();
  }
}

void TDR_Manager::Report(int level, const char* text, const char* detail) {
  m_lastError = text ? text : "";
  m_lastErrorLevel = level;
  if (detail && *detail) {
    m_lastError += " - ";
    m_lastError += detail;
  }
  Sv_Debug::Message(level, text, detail);
}

int TDR_Manager::Fail(const char* text, const char* detail) {
  m_resumable = false;
  Report(SV_LEVEL_DEBUG, text, detail ? detail : kWhere);
  // The reading function's name is for the debug log, not part of the reason.
  if (!detail) m_lastError = text;
  DropSuspended();
  m_tag = TDR_TAG_ERROR;
  m_haveHeader = false;
  return TDR_TAG_ERROR;
}

int TDR_Manager::FailHeader(long long pos, int id, const char* text) {
  const bool followed = m_depth == 1;
  const std::string path = Current().path;
  if (!followed) {
    fseeko(m_levels[0].file, static_cast<off_t>(pos), SEEK_SET);
    m_levels[0].nextTag = pos;
  }
  LeaveInner();
  Fail(text);
  m_damagedHeader = true;
  m_damagedTag = id;
  if (followed) {
    // Damage in a followed file ends that file only: the outer file goes on
    // after the file-pointer record.
    m_resumable = true;
    m_leftFollowed = true;
    m_leftPath = path;
    m_leftWhy = m_lastError;
    m_leftTag = id;
  }
  return TDR_TAG_ERROR;
}

int TDR_Manager::TakeLeftFollowedFile(std::string* path, std::string* why, int* tag) {
  if (!m_leftFollowed) return 0;
  if (path) *path = m_leftPath;
  if (why) *why = m_leftWhy;
  if (tag) *tag = m_leftTag;
  m_leftFollowed = false;
  return 1;
}

int TDR_Manager::OpenFile(const char* path, const char* mode) {
  if (!path || !*path || !mode || !*mode || m_levels[0].file) return -1;
  // A new file is written beside the target and replaces it at CloseFile.
  // A file to be read must be a regular file; it is checked before anything
  // could block (a named pipe nobody writes, a device).
  FILE* file = mode[0] == 'w' ? m_output.Open(path, strchr(mode, 'b') ? 1 : 0)
               : mode[0] == 'r' ? Sv_PlatformOpenRegularFile(path)
                                : fopen(path, mode);
  if (!file) {
    if (mode[0] == 'r') Report(SV_LEVEL_DEBUG, "ERROR:  Not a regular file that can be read", path);
    return -1;
  }
  const bool writing = mode[0] == 'w' || mode[0] == 'a';
  long long size = 0;
  if (!writing) {
    size = FileSize(file);
    if (size < 0) {
      fclose(file);
      return -1;
    }
  }
  m_levels[0].file = file;
  m_endedEarlyAt = -1;
  m_followed = 0;
  m_leftFollowed = false;
  if (!writing) m_levels[0].buffer = LargeBuffer(file, size);
  m_levels[0].path = path;
  m_levels[0].fileName = BaseName(path);
  m_levels[0].size = size;
  m_levels[0].nextTag = 0;
  m_depth = 0;
  m_writing = writing;
  m_tag = TDR_TAG_ERROR;
  m_tagLength = 0;
  m_headerPos = -1;
  m_payloadEnd = 0;
  m_recordedEnd = 0;
  m_haveHeader = false;
  m_writtenHeader = -1;
  return 0;
}

int TDR_Manager::CloseFile() {
  if (!m_levels[0].file) return -1;
  if (m_depth == 1) LeaveInner();
  DropSuspended();
  const int rc = m_output.IsOpen() ? m_output.Commit() : fclose(m_levels[0].file);
  free(m_levels[0].buffer);
  m_levels[0] = Level();
  m_depth = 0;
  m_haveHeader = false;
  m_writtenHeader = -1;
  return rc == 0 ? 0 : -1;
}

int TDR_Manager::DiscardFile() {
  if (!m_levels[0].file) return -1;
  if (!m_output.IsOpen()) return CloseFile() == 0 ? 0 : -1;
  m_output.Discard();
  m_levels[0] = Level();
  m_depth = 0;
  m_haveHeader = false;
  m_writtenHeader = -1;
  return 0;
}

void TDR_Manager::AddComment(const char* text) {
  if (!text) return;
  std::string all(text);
  while (!all.empty() && (all.back() == '\n' || all.back() == '\r')) all.pop_back();
  size_t start = 0;
  for (;;) {
    const size_t nl = all.find('\n', start);
    std::string line = all.substr(start, nl == std::string::npos ? std::string::npos : nl - start);
    if (!line.empty() && line.back() == '\r') line.pop_back();
    if (static_cast<int>(line.size()) > kMaxHeaderLine - 2) line.resize(static_cast<size_t>(kMaxHeaderLine - 2));
    m_comments.push_back(line);
    if (nl == std::string::npos) break;
    start = nl + 1;
  }
}

int TDR_Manager::GetCommentCount() const { return static_cast<int>(m_comments.size()); }

const char* TDR_Manager::GetComment(int i) const {
  if (i < 0 || i >= static_cast<int>(m_comments.size())) return nullptr;
  return m_comments[static_cast<size_t>(i)].c_str();
}

int TDR_Manager::WriteHeader() {
  FILE* file = m_levels[0].file;
  if (!file || !m_writing) return -1;
  std::string text = m_class + " " + m_version + (m_binary ? " Binary\n" : " Ascii\n");
  for (const std::string& c : m_comments) text += "# " + c + "\n";
  text += kEndMark;
  text += "\n";
  if (static_cast<long long>(text.size()) > kMaxHeaderBytes) {
    Report(SV_LEVEL_DEBUG, "ERROR:  TDR header comments too long", "TDR_Manager::WriteHeader");
    return -1;
  }
  return fwrite(text.data(), 1, text.size(), file) == text.size() ? 0 : -1;
}

int TDR_Manager::ReadHeaderOf(FILE* file, std::vector<std::string>* comments, std::string* cls,
                              std::string* version, bool* binary, const char* path) {
  long long budget = kMaxHeaderBytes;
  std::string line;
  if (!ReadLine(file, &line, kMaxHeaderLine, &budget)) {
    Report(SV_LEVEL_DEBUG, "ERROR:  No TDR header line in file", path);
    return -1;
  }
  char w1[16], w2[16], w3[16], extra[2];
  const int words = sscanf(line.c_str(), "%15s %15s %15s %1s", w1, w2, w3, extra);
  if (words != 3 || strcmp(w1, "TDR") != 0) {
    Report(SV_LEVEL_DEBUG, "ERROR:  Not a TDR file", path);
    return -1;
  }
  char* endp = nullptr;
  const double v = strtod(w2, &endp);
  if (endp == w2 || *endp != '\0' || !(v >= 2.0 && v < 3.0)) {
    Report(SV_LEVEL_DEBUG, "ERROR:  Unsupported TDR version", path);
    return -1;
  }
  bool isBinary;
  if (Sv_UtlStrCaseCmp(w3, "Binary") == 0) {
    isBinary = true;
  } else if (Sv_UtlStrCaseCmp(w3, "Ascii") == 0) {
    isBinary = false;
  } else {
    Report(SV_LEVEL_DEBUG, "ERROR:  Unknown TDR format", path);
    return -1;
  }
  std::vector<std::string> found;
  for (;;) {
    if (!ReadLine(file, &line, kMaxHeaderLine, &budget)) {
      Report(SV_LEVEL_DEBUG, "ERROR:  TDR header has no end mark", path);
      return -1;
    }
    if (line == kEndMark) break;
    if (line.compare(0, 2, "# ") == 0) {
      found.push_back(line.substr(2));
    } else if (!line.empty() && line[0] == '#') {
      found.push_back(line.substr(1));
    } else {
      found.push_back(line);
    }
  }
  if (comments) comments->swap(found);
  if (cls) *cls = w1;
  if (version) *version = w2;
  if (binary) *binary = isBinary;
  return 0;
}

int TDR_Manager::ReadHeader() {
  Level& top = m_levels[0];
  if (!top.file || m_writing || m_depth != 0) return -1;
  std::vector<std::string> comments;
  std::string cls, version;
  bool binary = true;
  if (ReadHeaderOf(top.file, &comments, &cls, &version, &binary, top.path.c_str()) != 0) return -1;
  m_comments.swap(comments);
  m_class = cls;
  m_version = version;
  m_binary = binary;
  const long long pos = ftello(top.file);
  top.nextTag = pos < 0 ? 0 : pos;
  return 0;
}

long long TDR_Manager::GetTagBytesLeft() const {
  FILE* file = GetFilePtr();
  if (!file || m_writing) return 0;
  const long long pos = ftello(file);
  if (pos < 0 || pos >= m_payloadEnd) return 0;
  return m_payloadEnd - pos;
}

int TDR_Manager::TrailingBytes(int tag, int tagVersion) {
  // BORE_DATA: the colour-map block (TDR_PayloadReader::ColourMap).
  if (tag == TDR_TAG_BORE_DATA) return (tagVersion == 0 ? 4 : 0) + 3 * 256;
  return 0;
}

FILE* TDR_Manager::GetFilePtr() const { return Current().file; }
const char* TDR_Manager::GetFileName() const { return Current().fileName.c_str(); }
const char* TDR_Manager::GetPath() const { return Current().path.c_str(); }

int TDR_Manager::TagName(int tag, char* name) {
  const TagEntry* e = FindTag(tag);
  if (name) {
    name[0] = '\0';
    if (e) {
      strncpy(name, e->name, TDR_TAG_NAME_SIZE - 1);
      name[TDR_TAG_NAME_SIZE - 1] = '\0';
    }
  }
  return e ? tag : TDR_TAG_ERROR;
}

void TDR_Manager::LeaveInner(long long endTagPos) {
  if (m_depth != 1) return;
  if (endTagPos >= 0) {
    // Kept open until the next ReadTag, so that unreading the outer tag read
    // next can step back into the followed file, before its end tag.
    m_suspended = m_levels[1];
    m_suspendedEndTag = endTagPos;
  } else {
    if (m_levels[1].file) fclose(m_levels[1].file);
    free(m_levels[1].buffer);
  }
  m_levels[1] = Level();
  m_depth = 0;
  Level& outer = m_levels[0];
  fseeko(outer.file, static_cast<off_t>(outer.nextTag), SEEK_SET);
  m_payloadEnd = m_recordedEnd = outer.nextTag;
  m_haveHeader = false;
}

void TDR_Manager::DropSuspended() {
  if (m_suspended.file) fclose(m_suspended.file);
  free(m_suspended.buffer);
  m_suspended = Level();
  m_suspendedEndTag = -1;
}

int TDR_Manager::ReadTrailingTag(int* length) {
  m_holdPointers = true;
  const int tag = ReadTag(length);
  m_holdPointers = false;
  return tag;
}

int TDR_Manager::ReadTag(int* length) {
  if (length) *length = 0;
  m_tagIsPointer = false;
  m_resumable = false;
  m_damagedHeader = false;
  m_damagedTag = TDR_TAG_ERROR;
  if (!m_levels[0].file || m_writing) return Fail("ERROR:  No TDR file open for reading");
  if (!m_binary) return Fail("ERROR:  Tag records of Ascii TDR files cannot be read");
  DropSuspended();

  for (;;) {
    Level& level = Current();
    long long pos = ftello(level.file);
    if (pos < 0) {
      LeaveInner();
      return Fail("ERROR:  Reading TDR tag header");
    }
    // Never read a header from inside the payload of the previous record.
    if (pos < level.nextTag) {
      if (fseeko(level.file, static_cast<off_t>(level.nextTag), SEEK_SET) != 0) {
        LeaveInner();
        return Fail("ERROR:  Reading TDR tag header");
      }
      pos = level.nextTag;
    }
    unsigned char h[kTagHeaderSize];
    const size_t got = fread(h, 1, sizeof h, level.file);
    if (got != sizeof h) {
      if (m_depth == 0) m_endedEarlyAt = level.size;
      return FailHeader(pos, TDR_TAG_ERROR,
                        got == 0 ? "ERROR:  TDR file ends without an end tag" : "ERROR:  TDR tag header is truncated");
    }
    const int order = h[0];
    if (order != 0 && order != 1) {
      return FailHeader(pos, TDR_TAG_ERROR, "ERROR:  TDR tag header has a bad byte-order byte");
    }
    const int extended = h[1];
    const short filePointer = static_cast<short>(Decode(h + 12, 2, order));
    const int id = static_cast<int>(Decode(h + 4, 4, order));
    if ((extended != 0 && extended != 1) || (filePointer != 0 && filePointer != 1)) {
      return FailHeader(pos, id, "ERROR:  TDR tag header is damaged");
    }
    const int len = static_cast<int>(Decode(h + 8, 4, order));
    const short version = extended ? static_cast<short>(Decode(h + 14, 2, order)) : 0;
    // A block that the format places after the payload belongs to the record.
    const long long trailer = filePointer ? 0 : TrailingBytes(id, version);
    const long long payload = pos + kTagHeaderSize;
    if (len < 0) {
      char text[64];
      snprintf(text, sizeof text, "ERROR:  TDR tag length is negative (%d)", len);
      return FailHeader(pos, id, text);
    }
    if (len > level.size - payload - trailer) {
      // The record would go on past the end: the file ends inside it.
      if (m_depth == 0) m_endedEarlyAt = level.size;
      return FailHeader(pos, id, "ERROR:  TDR tag length exceeds the file");
    }
    m_tag = id;
    m_tagLength = len;
    m_tagVersion = version;
    m_byteOrder = order;
    m_tagFlag = static_cast<char>(h[2]);
    m_headerPos = pos;
    m_payloadEnd = m_recordedEnd = payload + len + trailer;
    m_haveHeader = true;
    level.nextTag = m_payloadEnd;

    if (!FindTag(id)) {
      char text[64];
      snprintf(text, sizeof text, "ERROR:  Unknown TDR tag id %d", id);
      Report(SV_LEVEL_DEBUG, text, kWhere);
      m_lastError = text;  // the reading function's name is for the debug log
      m_tag = TDR_TAG_ERROR;
      DropSuspended();
      // The record's length is sound: reading may go on at the next record,
      // in a followed file as in the file opened first.
      m_resumable = true;
      return TDR_TAG_ERROR;
    }
    if (filePointer && m_holdPointers) {
      // Left for the reader of the object the record stands for.
      m_tagIsPointer = true;
      if (length) *length = len;
      return id;
    }
    if (filePointer) {
      DropSuspended();
      if (FollowFilePointer() != 0) {
        // Reading stands after the record in the outer file.
        m_tag = TDR_TAG_ERROR;
        m_haveHeader = false;
        m_resumable = true;
        return TDR_TAG_ERROR;
      }
      continue;  // the first tag of the followed file
    }
    if (id == TDR_TAG_EOF && m_depth == 1) {
      LeaveInner(pos);
      continue;  // back in the outer file, after the file-pointer record
    }
    if (length) *length = len;
    return id;
  }
}

TDR_Manager::FollowCheck TDR_Manager::SetFollowCheck(FollowCheck check) {
  const FollowCheck previous = t_followCheck;
  t_followCheck = check;
  return previous;
}

int TDR_Manager::FollowFilePointer() {
  Level& outer = Current();
  const char* where = "TDR_Manager::ReadTag (file pointer)";
  if (m_depth == 1) {
    // The record alone is refused: the followed file goes on after it.
    Report(SV_LEVEL_ERROR, "A file pointer inside a followed TDR file is not supported",
                      outer.path.c_str());
    return -1;
  }
  // Payload: int32 length n, then n path characters.
  int n = 0;
  if (m_tagLength < 4 || Sv_UtlFread(&n, 4, 1, outer.file, m_byteOrder) != 1 || n <= 0 ||
      n > m_tagLength - 4) {
    Report(SV_LEVEL_ERROR, "TDR file-pointer record is damaged", where);
    return -1;
  }
  if (n > kMaxPointerPath) {
    Report(SV_LEVEL_ERROR, "TDR file-pointer record names a path longer than the 4096 bytes a path may have",
           where);
    return -1;
  }
  std::string target(static_cast<size_t>(n), '\0');
  if (fread(&target[0], 1, static_cast<size_t>(n), outer.file) != static_cast<size_t>(n)) {
    Report(SV_LEVEL_ERROR, "TDR file-pointer record is damaged", where);
    return -1;
  }
  target.resize(strlen(target.c_str()));
  if (target.empty()) {
    Report(SV_LEVEL_ERROR, "TDR file-pointer record is damaged", where);
    return -1;
  }

  // Paths written on Windows: as given, with '/' separators, then the bare
  // file name next to the file that holds the record.
  std::vector<std::string> candidates;
  candidates.push_back(target);
  std::string slashed = target;
  std::replace(slashed.begin(), slashed.end(), '\\', '/');
  candidates.push_back(slashed);
  const std::string dir = outer.path.substr(0, outer.path.find_last_of("/\\") == std::string::npos
                                                   ? 0
                                                   : outer.path.find_last_of("/\\") + 1);
  candidates.push_back(dir + BaseName(target));

  FILE* inner = nullptr;
  std::string innerPath;
  for (size_t i = 0; i < candidates.size() && !inner; ++i) {
    if (i > 0 && candidates[i] == candidates[i - 1]) continue;
    inner = Sv_PlatformOpenRegularFile(candidates[i].c_str());
    if (inner) innerPath = candidates[i];
  }
  if (!inner) {
    Report(SV_LEVEL_ERROR, "Opening the file named by a TDR file pointer", target.c_str());
    return -1;
  }
  const long long size = FileSize(inner);
  if (size < 0) {
    fclose(inner);
    Report(SV_LEVEL_ERROR, "Opening the file named by a TDR file pointer", target.c_str());
    return -1;
  }
  if (SameFile(inner, outer.file)) {
    fclose(inner);
    Report(SV_LEVEL_ERROR, "A TDR file pointer names the file that holds it", target.c_str());
    return -1;
  }
  char* buffer = LargeBuffer(inner, size);
  bool binary = true;
  if (ReadHeaderOf(inner, nullptr, nullptr, nullptr, &binary, innerPath.c_str()) != 0 || !binary) {
    fclose(inner);
    free(buffer);
    Report(SV_LEVEL_ERROR, "Reading the header of the file named by a TDR file pointer",
                      innerPath.c_str());
    return -1;
  }
  std::string refusal;
  if (t_followCheck && !t_followCheck(innerPath.c_str(), size, &refusal)) {
    fclose(inner);
    free(buffer);
    Report(SV_LEVEL_WARNING, refusal.c_str(), nullptr);
    return -1;
  }
  Level& in = m_levels[1];
  in.file = inner;
  in.buffer = buffer;
  in.path = innerPath;
  in.fileName = BaseName(innerPath);
  in.size = size;
  const long long start = ftello(inner);
  in.nextTag = start < 0 ? 0 : start;
  m_depth = 1;
  m_haveHeader = false;
  ++m_followed;
  return 0;
}

int TDR_Manager::SkipTagData(int length) {
  FILE* file = GetFilePtr();
  if (!file || m_writing || m_headerPos < 0) return -1;
  long long target;
  if (length <= 0) {
    target = m_payloadEnd;
  } else {
    const long long pos = ftello(file);
    if (pos < 0) return -1;
    target = pos + length;
  }
  if (target > Current().size) {
    Report(SV_LEVEL_DEBUG, "ERROR:  Skipping beyond the end of the TDR file", "TDR_Manager::SkipTagData");
    return -1;
  }
  if (fseeko(file, static_cast<off_t>(target), SEEK_SET) != 0) return -1;
  Current().nextTag = std::max(m_payloadEnd, Current().nextTag);
  return 0;
}

int TDR_Manager::ExtendPayload(long long bytes) {
  FILE* file = GetFilePtr();
  if (!file || m_writing || m_headerPos < 0 || bytes < 0 || bytes > Current().size - m_payloadEnd) return -1;
  m_payloadEnd += bytes;
  Current().nextTag = std::max(m_payloadEnd, Current().nextTag);
  return 0;
}

int TDR_Manager::KeepRecordedLength() {
  FILE* file = GetFilePtr();
  if (!file || m_writing || m_headerPos < 0) return -1;
  m_payloadEnd = m_recordedEnd;
  Current().nextTag = m_recordedEnd;
  return fseeko(file, static_cast<off_t>(m_recordedEnd), SEEK_SET) == 0 ? 0 : -1;
}

int TDR_Manager::PeekTag() const {
  FILE* file = GetFilePtr();
  if (!file || m_writing) return TDR_TAG_ERROR;
  const long long pos = ftello(file);
  if (pos < 0) return TDR_TAG_ERROR;
  unsigned char h[kTagHeaderSize];
  const size_t got = fread(h, 1, sizeof h, file);
  if (fseeko(file, static_cast<off_t>(pos), SEEK_SET) != 0 || got != sizeof h) return TDR_TAG_ERROR;
  const int order = h[0];
  if ((order != 0 && order != 1) || (h[1] != 0 && h[1] != 1)) return TDR_TAG_ERROR;
  const unsigned filePointer = Decode(h + 12, 2, order);
  const int id = static_cast<int>(Decode(h + 4, 4, order));
  const int len = static_cast<int>(Decode(h + 8, 4, order));
  const short version = h[1] ? static_cast<short>(Decode(h + 14, 2, order)) : 0;
  const long long trailer = filePointer ? 0 : TrailingBytes(id, version);
  if (filePointer > 1 || len < 0 || len > Current().size - pos - kTagHeaderSize - trailer || !FindTag(id)) {
    return TDR_TAG_ERROR;
  }
  return id;
}

int TDR_Manager::UnreadTagHeader() {
  FILE* file = GetFilePtr();
  if (!file || m_writing || !m_haveHeader) return -1;
  if (fseeko(file, static_cast<off_t>(m_headerPos), SEEK_SET) != 0) return -1;
  Current().nextTag = m_headerPos;
  m_haveHeader = false;
  if (m_suspended.file && m_depth == 0) {
    // The tag was read after the followed file's end tag: step back into
    // that file, before its end tag, as it stood before this ReadTag.
    m_levels[1] = m_suspended;
    m_suspended = Level();
    m_levels[1].nextTag = m_suspendedEndTag;
    m_depth = 1;
    if (fseeko(m_levels[1].file, static_cast<off_t>(m_suspendedEndTag), SEEK_SET) != 0) LeaveInner();
    m_suspendedEndTag = -1;
  }
  return 0;
}

int TDR_Manager::WriteTag(int tag, short tagVersion, int length, short filePointer, char flag) {
  FILE* file = m_levels[0].file;
  if (!file || !m_writing || !m_binary || length < 0) return -1;
  const long long pos = ftello(file);
  if (pos < 0) return -1;
  unsigned char h[kTagHeaderSize] = {};
  h[0] = static_cast<unsigned char>(m_writeOrder);
  h[1] = 1;  // extended header: the tag version field is valid
  h[2] = static_cast<unsigned char>(flag);
  Encode(h + 4, static_cast<unsigned int>(tag), 4, m_writeOrder);
  Encode(h + 8, static_cast<unsigned int>(length), 4, m_writeOrder);
  Encode(h + 12, static_cast<unsigned short>(filePointer ? 1 : 0), 2, m_writeOrder);
  Encode(h + 14, static_cast<unsigned short>(tagVersion), 2, m_writeOrder);
  if (fwrite(h, 1, sizeof h, file) != sizeof h) return -1;
  m_writtenHeader = pos;
  m_tag = tag;
  m_tagLength = length;
  m_tagVersion = tagVersion;
  m_byteOrder = m_writeOrder;
  m_tagFlag = flag;
  return 0;
}

int TDR_Manager::EndTag() {
  FILE* file = m_levels[0].file;
  if (!file || !m_writing || !m_binary || m_writtenHeader < 0) return -1;
  const long long pos = ftello(file);
  if (pos < 0) return -1;
  const long long len = pos - (m_writtenHeader + kTagHeaderSize);
  if (len < 0 || len > INT_MAX) {
    Report(SV_LEVEL_DEBUG, "ERROR:  TDR record too long", "TDR_Manager::EndTag");
    return -1;
  }
  unsigned char b[4];
  Encode(b, static_cast<unsigned int>(len), 4, m_byteOrder);
  if (fseeko(file, static_cast<off_t>(m_writtenHeader + 8), SEEK_SET) != 0) return -1;
  const bool ok = fwrite(b, 1, 4, file) == 4;
  if (fseeko(file, static_cast<off_t>(pos), SEEK_SET) != 0 || !ok) return -1;
  m_tagLength = static_cast<int>(len);
  return 0;
}

bool TDR_Manager::IsOtherExistingFile(const char* path) const {
  std::error_code ec;
  if (!path || !*path || !std::filesystem::is_regular_file(path, ec)) return false;
  const char* target = GetPath();
  if (!target || !*target) return true;
  const bool same = std::filesystem::equivalent(path, target, ec);
  return !(same && !ec);
}

int TDR_Manager::WriteFilePointerString(const char* path) {
  FILE* file = m_levels[0].file;
  if (!file || !m_writing || !path) return -1;
  const size_t n = strlen(path);
  if (n == 0 || n > static_cast<size_t>(kMaxPointerPath)) return -1;
  const int len = static_cast<int>(n);
  if (Sv_UtlFwriteCopy(&len, 4, 1, file, m_byteOrder) != 1) return -1;
  return fwrite(path, 1, n, file) == n ? 0 : -1;
}
