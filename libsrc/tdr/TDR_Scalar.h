#ifndef TDR_SCALAR_H
#define TDR_SCALAR_H

class TDR_Manager;
class TDR_PayloadReader;

// Data type codes of a scalar array, with their bit widths.
enum {
  TDR_TYPE_NULL = 0,        // 0 bits: no data
  TDR_TYPE_CHAR = 1,        // 8, signed
  TDR_TYPE_SHORT = 2,       // 16
  TDR_TYPE_USHORT = 3,      // 16
  TDR_TYPE_INT = 4,         // 32
  TDR_TYPE_UINT = 5,        // 32
  TDR_TYPE_LONG = 6,        // 32
  TDR_TYPE_ULONG = 7,       // 32
  TDR_TYPE_LONGLONG = 8,    // 64
  TDR_TYPE_ULONGLONG = 9,   // 64
  TDR_TYPE_FLOAT = 10,      // 32
  TDR_TYPE_DOUBLE = 11,     // 64
  TDR_TYPE_COUNT = 12
};

// The descriptor of an n-dimensional scalar array that opens a SCALAR record
// (tag TDR_TAG_SCALAR, 1000): number of dimensions, their sizes (dimension
// 1 varies fastest: columns, then rows, then slices or frames), data type
// with bit width, and an encoded value range. The array's elements follow
// the descriptor (after whatever words the record's owner puts between).
class TDR_Scalar {
 public:
  static constexpr int kMaxDimensions = 4;

  // Type NULL, no dimensions, range 0 to 0.
  TDR_Scalar();

  // Reads the descriptor at the stream position of the manager's current
  // tag. Checks the dimension count (1..4), every size (> 0), the type and
  // its bit width, and that the array's bytes fit into the rest of the
  // payload. 0 on success; -1 otherwise (the descriptor is then unchanged).
  int Read(TDR_Manager* manager);
  // The same through a reader of the current payload (which a failed read
  // leaves failed).
  int Read(TDR_PayloadReader& in);
  // Writes the descriptor (preceded by a float32 format version when the
  // manager's current tag has version 0). -1 for a descriptor that Read
  // would refuse (other than the payload size) or a failed write.
  int Write(TDR_Manager* manager);

  int GetDataType() const { return m_dataType; }
  int GetBitWidth() const { return m_bitWidth; }
  // Sets the type and its bit width; an unknown code gives NULL.
  void SetDataType(int type);

  int GetNumDimensions() const { return m_numDimensions; }
  // Size of dimension i (1-based); 0 outside 1..number of dimensions.
  int GetDimension(int i) const;
  // 0..4; the sizes of new dimensions start at 1.
  void SetNumDimensions(int n);
  // Sets the size of dimension i (1-based, within the number of dimensions).
  void SetDimension(int i, int size);

  void SetRange(double min, double max);
  double* GetRange() { return m_range; }
  const double* GetRange() const { return m_range; }

  // Elements of the array, bytes of one element and of the whole array (the
  // counts saturate at 2^62 instead of overflowing).
  long long GetElementCount() const;
  int GetElementSize() const { return m_bitWidth / 8; }
  long long GetDataSize() const;

  // Bit width of a type code; -1 for an unknown code.
  static int BitWidth(int type);

 private:
  int m_numDimensions;
  int m_dimensions[kMaxDimensions];
  int m_dataType;
  int m_bitWidth;
  double m_range[2];
};

#endif
