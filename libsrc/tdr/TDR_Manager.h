#ifndef TDR_MANAGER_H
#define TDR_MANAGER_H

#include <cstdio>
#include <string>
#include <vector>

#include "Sv_AtomicFile.h"
#include "TDR_Tags.h"

// Reader and writer of one tagged-data-record file.
//
// A file is a text header (class "TDR", version "2.0", format "Binary" or
// "Ascii", comment lines, an end mark) followed by records: a 32-byte tag
// header and the tag's payload. The last record is the end tag
// TDR_TAG_EOF. docs/file-formats.md gives the layout byte by byte.
//
// Reading: OpenFile(path, "rb"), ReadHeader, then ReadTag until TDR_TAG_EOF
// or TDR_TAG_ERROR; each record's payload is read by its owner through a
// TDR_PayloadReader (TDR_Payload.h), which reads in the record's byte order
// and never past the payload's end. ReadTag always starts at the
// next tag boundary: a payload that its reader did not read to the end is
// stepped over, so payload bytes are never taken for a header.
//
// A record whose header carries the file-pointer flag names another TDR
// file. ReadTag follows it one level deep: it opens the named file, checks
// its header and goes on returning that file's tags; at its end tag it goes
// back to the outer file just after the record. While inside, GetFilePtr,
// GetTagVersion, GetByteOrder, GetFileName and GetPath describe the inner
// file. A file pointer inside a followed file is refused, alone.
//
// Writing: OpenFile(path, "wb"), AddComment..., WriteHeader, then for every
// record WriteTag, the payload through a TDR_PayloadWriter, and EndTag, which patches
// the payload length; finally the end tag and CloseFile.
//
// A file is written atomically (Sv_AtomicFile): the records go to a
// temporary file beside the target, and only CloseFile, when every write
// succeeded, renames it over the target. A writer that fails part-way calls
// DiscardFile; a manager destroyed with the write still open does the same.
// Either way the old file stays as it was and no temporary file is left, so
// a writer never removes the target after a failure.
class TDR_Manager {
 public:
  // Size of a tag header in the file.
  static constexpr int kTagHeaderSize = 32;
  // Bounds of the text header: whole header and one line.
  static constexpr int kMaxHeaderBytes = 65536;
  static constexpr int kMaxHeaderLine = 4096;
  // Longest path a file-pointer record may hold.
  static constexpr int kMaxPointerPath = 4096;

  // Class "TDR", version "2.0", binary format, tag version 1, byte order 1.
  TDR_Manager();
  // Closes a file that is still open for reading; discards a write that was
  // not closed (the old file stays).
  ~TDR_Manager();
  TDR_Manager(const TDR_Manager&) = delete;
  TDR_Manager& operator=(const TDR_Manager&) = delete;

  // Opens the file with an fopen mode ("rb" or "wb"). 0 on success,
  // non-zero on failure (also for a null or empty path, a file already
  // open, or a path to be read that is not a regular file). A mode that
  // writes ("w...") starts an atomic write: the target is not touched yet.
  int OpenFile(const char* path, const char* mode);
  // Closes the file (and a followed inner file). A file being written
  // replaces the target only now, when every write, the flush and the close
  // succeeded. Non-zero when no file was open or closing failed; a failed
  // write leaves the old file as it was.
  int CloseFile();
  // Ends a write without replacing the target: what was written is dropped
  // and the old file (if any) stays as it was. A file being read is closed.
  // Non-zero when no file was open.
  int DiscardFile();

  // Reads and checks the text header; 0 on success, -1 when the file is not
  // a TDR file. Afterwards the stream stands at the first tag header.
  int ReadHeader();
  // Writes the text header with the comments added so far; 0 or -1.
  int WriteHeader();
  // Adds a comment to the header that WriteHeader writes. A text with line
  // breaks gives one comment line per line; trailing line breaks are dropped.
  void AddComment(const char* text);
  int GetCommentCount() const;
  // The i-th comment (0-based) added or read; null when out of range.
  const char* GetComment(int i) const;
  // Header fields as read (or as they will be written).
  const char* GetClass() const { return m_class.c_str(); }
  const char* GetVersion() const { return m_version.c_str(); }
  // 1 for "Binary", 0 for "Ascii".
  int IsBinary() const { return m_binary ? 1 : 0; }

  // Reads the next tag header and returns its id, storing the payload
  // length in *length (when given). Returns TDR_TAG_EOF at the end tag and
  // TDR_TAG_ERROR (1) after a failed read, a damaged header, a negative
  // length or one that exceeds the rest of the file, an id missing from the tag-name table or
  // a file pointer that cannot be followed; each with a debug message.
  int ReadTag(int* length = nullptr);
  // ReadTag for the records that follow an object's own record (its common
  // tags and settings): a file-pointer record is not followed but returned
  // as it stands, with IsFilePointer 1, for the caller to put back with
  // UnreadTagHeader. A file pointer always stands for an object's record,
  // never for a trailing one: the reader of objects follows it and meets
  // whatever the named file holds, its damage included.
  int ReadTrailingTag(int* length = nullptr);
  // 1 when the tag header read last is a file-pointer record that
  // ReadTrailingTag did not follow.
  int IsFilePointer() const { return m_tagIsPointer ? 1 : 0; }
  // After ReadTag gave TDR_TAG_ERROR: 1 when reading can go on with the
  // next ReadTag at the next record: the record itself was sound and only
  // it was refused (an id missing from the tag-name table, a file pointer
  // that cannot be followed or one inside a followed file), or the damage
  // ended a followed file (see MetDamagedHeader); 0 when the file cannot be
  // read further. A record refused inside a followed file costs that record
  // only: reading goes on in the followed file.
  int CanReadOn() const { return m_resumable ? 1 : 0; }
  // After ReadTag gave TDR_TAG_ERROR for a tag header that cannot be read
  // (damaged, a negative length, a record cut by the end of the file): 1,
  // with the id the header names in *tag when given (TDR_TAG_ERROR when the
  // header is cut before its id). In the file opened first the stream stays
  // at that header, so every later ReadTag meets it again with the same
  // refusal and nothing after it is read. A followed file is left there:
  // the damage ends that file only, reading goes on in the outer file after
  // the file-pointer record (CanReadOn), and TakeLeftFollowedFile tells of it.
  // 0 after every other ReadTag.
  int MetDamagedHeader(int* tag = nullptr) const {
    if (tag) *tag = m_damagedTag;
    return m_damagedHeader ? 1 : 0;
  }
  // After a damaged tag header ended a followed file: 1, once, with that
  // file's path (as found) in *path, the header's refusal in *why and the
  // id it names in *tag (each when given). The note stays until it is
  // taken, so a caller learns of the damage also when a record's reader
  // met it (and went on: a header that names the next object is no damage
  // of the object before it). 0 without one.
  int TakeLeftFollowedFile(std::string* path, std::string* why, int* tag);
  // How many times a file pointer was followed since the file was opened:
  // with IsInFollowedFile, tells the records of one followed file from
  // those of the next.
  int FollowedFiles() const { return m_followed; }
  // The size of the file opened first when a read met its end before a
  // tag header or a record's payload was complete (the file ends early
  // there: cut short, or without its end tag); -1 while it has not.
  long long EndedEarlyAt() const { return m_endedEarlyAt; }
  // The text (and detail, unless it only names the reading function) of the
  // last problem reported while reading: why a record or the file was
  // refused. Empty when there was none. The level it was reported at goes
  // to *level when given.
  const char* GetLastError(int* level = nullptr) const {
    if (level) *level = m_lastErrorLevel;
    return m_lastError.c_str();
  }
  // Steps over the payload of the current tag: length 0 (or less) goes to
  // the end of the current payload whatever was read of it; a positive
  // length moves that many bytes forward from the current position.
  // 0 on success, -1 when the target lies beyond the end of the file.
  int SkipTagData(int length = 0);
  // Records whose writer closed the header at once (recorded payload
  // length 0) and wrote the record's fields after it: ExtendPayload takes
  // the next bytes of the file, from the current payload's end, into the
  // payload, so that a TDR_PayloadReader reads them and the next ReadTag
  // starts after them. 0 on success; -1, changing nothing, when they would
  // reach beyond the file or no record is being read.
  int ExtendPayload(long long bytes);
  // Undoes every ExtendPayload of the current record: its payload ends
  // where its header says, and reading goes on from there. 0 or -1.
  int KeepRecordedLength();
  // The id of the tag header that starts at the stream's position, or
  // TDR_TAG_ERROR when no sound header of a known id with a length that
  // fits into the file starts there. Nothing is consumed or reported.
  int PeekTag() const;
  // Steps back over the header just read, so that the next ReadTag returns
  // the same tag again. When that tag was read after a followed file's end
  // tag, reading steps back into the followed file, before its end tag.
  // 0 on success, -1 when no header was just read.
  int UnreadTagHeader();

  // Writes a binary tag header (extended flag set) in the manager's byte
  // order at the current position; EndTag later patches the length.
  // 0 on success, -1 on failure.
  int WriteTag(int tag, short tagVersion, int length, short filePointer, char flag);
  // Patches the payload length of the tag header written last to the bytes
  // written since. 0 on success, -1 without a header or on failure.
  int EndTag();
  // The payload of a file-pointer record: int32 length, then the path
  // characters without terminator. 0 on success, -1 on failure.
  int WriteFilePointerString(const char* path);
  // Whether path names an existing file other than the one this manager
  // writes: what a file-pointer record may name. One naming the file being
  // written would name itself once the write is done, one naming no file
  // would lose the object's data.
  bool IsOtherExistingFile(const char* path) const;

  // Fields of the current tag: the header read last (in the file being read
  // at the moment) or written last.
  int GetTag() const { return m_tag; }
  int GetTagLength() const { return m_tagLength; }
  short GetTagVersion() const { return m_tagVersion; }
  int GetByteOrder() const { return m_byteOrder; }
  char GetTagFlag() const { return m_tagFlag; }
  // Bytes of the current payload from the stream position to its end; 0
  // when the position is at or beyond the end. Readers check counts and
  // sizes from the payload against it before allocating. For a record
  // that carries a trailing block (TrailingBytes), the block counts as the
  // payload's last bytes here, though not in GetTagLength.
  long long GetTagBytesLeft() const;
  // Bytes that the format places directly after the payload of a record of
  // this tag and tag version, before the next tag header: the colour-map
  // block of a BORE_DATA record (an int32 when the tag version is 0, then
  // 256 x {R, G, B}). 0 for every other record. ReadTag steps over them
  // with the payload; a record whose block does not fit into the file is
  // refused like one whose payload does not.
  static int TrailingBytes(int tag, int tagVersion);

  // The stream being read or written at the moment: the inner file while a
  // file pointer is being followed, else the file opened by OpenFile.
  FILE* GetFilePtr() const;
  // File name (after the last '/' or '\') and full path of that file.
  const char* GetFileName() const;
  const char* GetPath() const;
  // 1 while the records come from a file that a file-pointer record named,
  // 0 in the file that OpenFile opened.
  int IsInFollowedFile() const { return m_depth; }

  // Asked, on the reading thread, before a named file is followed, with
  // its path and size in bytes: false refuses the file-pointer record (the
  // reason, in *why, goes out at warning level) and reading goes on after
  // the record (CanReadOn). A load in progress sets it to charge what the
  // file will make the process hold. Returns the check set before; null
  // follows every file.
  using FollowCheck = bool (*)(const char* path, long long bytes, std::string* why);
  static FollowCheck SetFollowCheck(FollowCheck check);

  // Copies the tag's name (at most TDR_TAG_NAME_SIZE characters with the
  // terminator) into name and returns the id; an id missing from the table
  // gives an empty name and TDR_TAG_ERROR. name may be null.
  static int TagName(int tag, char* name);

  // Byte order of the records written from now on. The program's writers
  // always write 1 (little-endian); tests set 0 to make files of the other
  // byte order.
  void SetByteOrder(int byteOrder) { m_writeOrder = byteOrder ? 1 : 0; }

 private:
  struct Level {
    FILE* file = nullptr;
    std::string path;
    std::string fileName;
    long long size = 0;        // bytes in the file (read mode)
    long long nextTag = 0;     // where the next tag header starts
    char* buffer = nullptr;    // stream buffer of a large file (malloc'ed)
  };

  int Fail(const char* text, const char* detail = nullptr);
  // Fail for the tag header at pos: the stream goes back to it (in the file
  // opened first), so that no later ReadTag takes its payload for a header.
  int FailHeader(long long pos, int id, const char* text);
  // Sends a message and keeps it as the last error.
  void Report(int level, const char* text, const char* detail);
  int ReadHeaderOf(FILE* file, std::vector<std::string>* comments, std::string* cls, std::string* version,
                   bool* binary, const char* path);
  int FollowFilePointer();
  // Back to the outer file after the file-pointer record. With the position
  // of the followed file's end tag, that file is kept (suspended) for
  // UnreadTagHeader; without, it is closed.
  void LeaveInner(long long endTagPos = -1);
  void DropSuspended();
  Level& Current() { return m_levels[m_depth]; }
  const Level& Current() const { return m_levels[m_depth]; }

  Sv_AtomicFile m_output;  // the write in progress (level 0's stream)
  Level m_levels[2];
  int m_depth;          // 1 while inside a followed file
  Level m_suspended;    // the followed file just left at its end tag
  long long m_suspendedEndTag;
  bool m_writing;
  bool m_binary;
  std::string m_class;
  std::string m_version;
  std::vector<std::string> m_comments;

  int m_tag;
  int m_tagLength;
  short m_tagVersion;
  int m_byteOrder;
  char m_tagFlag;
  long long m_headerPos;   // start of the current tag header
  long long m_payloadEnd;  // end of the current payload
  long long m_recordedEnd; // end of the current payload as its header gives it
  bool m_haveHeader;       // a header was just read and may be unread

  int m_writeOrder;
  long long m_writtenHeader;  // position of the header written last, -1 none
  bool m_resumable;           // the last TDR_TAG_ERROR left the stream at a record boundary
  bool m_damagedHeader;       // see MetDamagedHeader
  int m_damagedTag;
  long long m_endedEarlyAt;   // see EndedEarlyAt
  int m_followed;             // see FollowedFiles
  bool m_holdPointers = false;  // ReadTrailingTag: file pointers are not followed
  bool m_tagIsPointer = false;  // see IsFilePointer
  bool m_leftFollowed;        // see TakeLeftFollowedFile
  std::string m_leftPath;
  std::string m_leftWhy;
  int m_leftTag;
  std::string m_lastError;
  int m_lastErrorLevel;
};

#endif
