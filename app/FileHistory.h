#ifndef FILEHISTORY_H
#define FILEHISTORY_H

#include <string>
#include <vector>

// The most recently used folders and files, kept in a binary file in the
// user's home folder ("pc_filehistory", Sv_UtlPrefFileName) as four lists of
// N names (10 in a file made here), newest first: 0 folders (each ending in
// a separator), 1 data files ('.sd'), 2 scene files ('.scene'), 3 other
// files (data files too). docs/file-formats.md gives the layout.
//
// Every operation reads the file, works and, when it changes something,
// writes it whole through the atomic writer; nothing is cached but the
// path and the list offsets. A history that cannot be written (read-only
// home) is reported once and the program goes on. A damaged history (N,
// a count or a length out of range, a file shorter than its lists) reads
// as empty, is reported once and is never rewritten.
class FileHistory {
 public:
  enum List { kDirectories = 0, kDataFiles = 1, kSceneFiles = 2, kOtherFiles = 3 };
  static constexpr int kLists = 4;
  static constexpr int kDefaultEntries = 10;
  static constexpr int kSlotBytes = 260;   // length word and 256 text bytes
  static constexpr int kTextBytes = 256;
  static constexpr int kHeaderBytes = 8;   // version, N
  // Longest name that is recorded.
  static constexpr int kMaxTextLength = 254;
  // Largest N a history may declare.
  static constexpr int kMaxEntries = 1000;

  // The history at path, or at the default path in HOME when path is null.
  // Creates the file when it does not exist, then reads the list offsets.
  explicit FileHistory(const char* path);

  // The process's history, at the default path. It follows HOME: when HOME
  // names another folder than the one it was made for, it is made anew.
  static FileHistory* Instance();

  const char* GetPath() const { return m_path.c_str(); }

  // Entry index of a list, or null (list or index out of range, unreadable
  // or damaged file). A slot never written reads as "". The text stays
  // valid until the next read.
  const char* GetEntry(int index, int list);
  const char* GetDirectory(int index) { return GetEntry(index, kDirectories); }
  const char* GetDataFile(int index) { return GetEntry(index, kDataFiles); }
  const char* GetSceneFile(int index) { return GetEntry(index, kSceneFiles); }
  // Entries in use in a list; 0 for another list number or a file that
  // cannot be read.
  int GetCount(int list);
  int GetDirectoryCount() { return GetCount(kDirectories); }
  int GetDataFileCount() { return GetCount(kDataFiles); }
  int GetSceneFileCount() { return GetCount(kSceneFiles); }
  // N from the header (0 when it cannot be read).
  int GetMaxEntries();
  // File offset of list 0 .. 3 as computed at construction.
  int GetListOffset(int list) const { return list >= 0 && list < kLists ? m_offsets[list] : -1; }
  // Reads every slot of every list that has a length; the texts are not
  // kept.
  void ReadAllLists();

  // Records a folder in list 0, with a separator appended when it does not
  // end in one.
  int AddDirectory(const char* dir);
  // Records a file: its folder in list 0; then list 1 when the pattern is
  // "*.sd" or the extension is ".sd" (case ignored); then list 2 when the
  // pattern is "*.scene" or the extension ".scene", else list 3. pattern
  // may be null.
  int AddFile(const char* path, const char* filterPattern);
  // Puts text at the front of a list: a text already listed moves to the
  // front, a new one pushes the oldest out of a full list. Texts of 255
  // characters or more are not recorded.
  // The three return 0 when recorded, -1 when not (a text too long, a
  // damaged or unwritable history).
  int AddEntry(const char* text, int list);

 private:
  // The whole file, checked. false (after one report) when it cannot be
  // read or is damaged.
  bool Load(std::vector<unsigned char>* bytes, int* entries);
  // Puts text at the front of list in the loaded bytes.
  static void Insert(std::vector<unsigned char>* bytes, int entries, int list, const std::string& text);
  // Writes the bytes over the file; false after one report.
  bool Store(const std::vector<unsigned char>& bytes);
  // Adds the texts (list, text) in order in one read and one write.
  int AddAll(const std::vector<std::pair<int, std::string>>& items);
  void CreateHistoryFile();
  void ComputeOffsets();

  std::string m_path;
  std::string m_home;  // HOME when the default path was taken
  int m_offsets[kLists];
  char m_entry[kTextBytes];
};

#endif
