#ifndef TDR_PAYLOAD_H
#define TDR_PAYLOAD_H

#include <cstddef>

class TDR_Manager;

// Field-by-field reading of the current tag's payload, in the tag's byte
// order, never past the payload's end. A read that would cross the end, or
// any failed read, fails this and every later read, so a record reader can
// read all its fields and check Ok() once.
class TDR_PayloadReader {
 public:
  explicit TDR_PayloadReader(TDR_Manager* manager);

  bool Ok() const { return m_ok; }
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

  // A text of length bytes stored without terminator: the first size - 1
  // bytes are kept and terminated, the rest is read and dropped. A negative
  // length, or one beyond the payload, fails.
  bool Text(char* out, int size, int length);
  // An int32 length followed by that many characters, as Text.
  bool CountedText(char* out, int size);

  // Skips count bytes of the payload.
  bool Skip(long long count);

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
  // An int32 length, then the characters without terminator.
  bool CountedText(const char* text);

 private:
  TDR_Manager* m_manager;
  bool m_ok;
};

#endif
