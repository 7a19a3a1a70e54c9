#ifndef TDR_PAYLOAD_H
#define TDR_PAYLOAD_H

#include <cstddef>

class TDR_Manager;
class TDR_Scalar;

// Field-by-field reading of the current tag's payload, in the tag's byte
// order, never past the payload's end. A read that would cross the end, or
// any failed read, fails this and every later read, so a record reader can
// read all its fields and check Ok() once.
class TDR_PayloadReader {
 public:
  explicit TDR_PayloadReader(TDR_Manager* manager);

  bool Ok() const { return m_ok; }
  // Marks the payload as damaged: every later read fails.
  void Fail() { m_ok = false; }
  TDR_Manager* Manager() const { return m_manager; }
  // Version of the tag being read.
  int TagVersion() const;
  // Bytes of the payload not read yet.
  long long Left() const;

  // count elements of elementSize bytes, each swapped as one unit when the
  // file's byte order differs from this machine's.
  bool Read(void* buffer, int elementSize, int count);
  bool Int32(int* v) { return Read(v, 4, 1); }
  bool Int32s(int* v, int count) { return Read(v, 4, count); }
  bool Float32(float* v) { return Read(v, 4, 1); }
  bool Float32s(float* v, int count) { return Read(v, 4, count); }
  bool Float64(double* v) { return Read(v, 8, 1); }
  bool Float64s(double* v, int count) { return Read(v, 8, count); }
  bool Bytes(void* v, int count) { return Read(v, 1, count); }

  // rowCount rows of count elements each, straight into rows[0] ...
  // rows[rowCount - 1] and swapped there in place when the byte order
  // differs: no second copy. Rows that follow one another in memory (the
  // one-block grids of Sv_UtlAlloc2D*) are read in one call. Fails, reading
  // nothing, when the rows do not fit into the rest of the payload.
  bool Rows(void* const* rows, int elementSize, int count, int rowCount);
  // The descriptor that opens a SCALAR record (TDR_Scalar::Read); a
  // descriptor that does not describe an array that fits into the payload
  // fails the reader.
  bool Scalar(TDR_Scalar* scalar);
  // A colour-map block: an int32 (ignored) when the tag version is 0, then
  // 256 x {R, G, B} bytes, stored into colours as 256 packed colours (red
  // in the low byte, alpha 255). colours is unchanged when the block does
  // not fit into the payload.
  static constexpr int kColourMapSize = 256;
  bool ColourMap(unsigned int* colours);

  // A text of length bytes stored without terminator: the first size - 1
  // bytes are kept and terminated, the rest is read and dropped. A negative
  // length, or one beyond the payload, fails.
  bool Text(char* out, int size, int length);
  // An int32 length followed by that many characters, as Text.
  bool CountedText(char* out, int size);

  // Skips count bytes of the payload.
  bool Skip(long long count);
  // A record of tag version 0 opens with a float32 format number that no
  // reader needs: it is read and dropped; other versions have none.
  bool SkipFormatNumber();

 private:
  TDR_Manager* m_manager;
  bool m_ok;
};

// Field-by-field writing of a payload in the manager's byte order; the
// caller's data are never changed. Ok() is false after any failed write.
class TDR_PayloadWriter {
 public:
  explicit TDR_PayloadWriter(TDR_Manager* manager);

  bool Ok() const { return m_ok; }
  bool Write(const void* buffer, int elementSize, int count);
  bool Int32(int v) { return Write(&v, 4, 1); }
  bool Int32s(const int* v, int count) { return Write(v, 4, count); }
  bool Float32(float v) { return Write(&v, 4, 1); }
  bool Float32s(const float* v, int count) { return Write(v, 4, count); }
  bool Float64(double v) { return Write(&v, 8, 1); }
  bool Float64s(const double* v, int count) { return Write(v, 8, count); }
  bool Bytes(const void* v, int count) { return Write(v, 1, count); }
  // rowCount rows of count elements each, as TDR_PayloadReader::Rows reads them.
  bool Rows(const void* const* rows, int elementSize, int count, int rowCount);
  // A colour-map block as TDR_PayloadReader::ColourMap reads it.
  bool ColourMap(const unsigned int* colours);
  // An int32 length, then the characters without terminator.
  bool CountedText(const char* text);

 private:
  TDR_Manager* m_manager;
  bool m_ok;
};

#endif
