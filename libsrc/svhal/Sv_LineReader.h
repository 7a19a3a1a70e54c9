#ifndef SV_LINEREADER_H
#define SV_LINEREADER_H

#include <cstddef>
#include <string>
#include <vector>

// Reads a text file line by line in bounded time and memory. Every text
// file the system reads (configuration files, line, track and sonobuoy
// files) goes through it:
// - only a regular file is opened (a pipe, a device or a directory is
//   refused at once, as Sv_UtlOpenForReading does);
// - a file larger than the reader's bound is refused before anything is
//   read, with "ERROR:  File too large to read" and the path;
// - a file that grows while it is read is read up to the size it had when
//   it was opened;
// - a line keeps at most the caller's number of characters; the rest of a
//   longer line is skipped in blocks, and a line that goes on for more than
//   kSkipBytes beyond that stops the file ("ERROR:  Line too long, the rest
//   of the file is not read" and the path).
class Sv_LineReader {
 public:
  // The bound of every configuration file.
  static constexpr long long kConfigurationBytes = 1LL << 20;
  // Characters a configuration line keeps.
  static constexpr size_t kConfigurationLine = 127;
  // Bytes of one line skipped past its kept characters before the file is
  // given up.
  static constexpr long long kSkipBytes = 64 * 1024;

  Sv_LineReader() = default;
  ~Sv_LineReader();
  Sv_LineReader(const Sv_LineReader&) = delete;
  Sv_LineReader& operator=(const Sv_LineReader&) = delete;

  // Opens path for reading lines. A name that is not a regular file and a
  // file larger than maxBytes are reported as warnings naming the file (a
  // missing or unreadable file is left to the caller, errno tells which).
  // False on refusal.
  bool Open(const char* path, long long maxBytes);
  bool IsOpen() const { return m_fd >= 0; }
  void Close();

  // The next line without its line end (and without a '\r' before it), cut
  // to maxChars characters. False at the end of the file and after the file
  // was stopped.
  bool ReadLine(std::string* line, size_t maxChars);
  // The next line that does not begin with '#'.
  bool ReadValueLine(std::string* line, size_t maxChars);
  // True once an over-long line stopped the file.
  bool Stopped() const { return m_stopped; }
  const std::string& Path() const { return m_path; }

 private:
  bool Fill();

  int m_fd = -1;
  long long m_offset = 0;  // where the next block is read
  long long m_left = 0;    // bytes of the file as opened that are not yet read
  std::vector<char> m_buffer;
  size_t m_pos = 0;
  size_t m_end = 0;
  bool m_stopped = false;
  std::string m_path;
};

#endif
