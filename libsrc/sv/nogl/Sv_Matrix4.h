#ifndef SV_MATRIX4_H
#define SV_MATRIX4_H

#include <cstdio>

// A 4x4 single-precision matrix.
//
// Element (row, column) is stored at row * 4 + column. The builders
// (SetRotation, SetScale, SetTranslation) produce transforms for column
// vectors in this row-major layout, so the translation sits in elements 3, 7
// and 11; callers transpose such a matrix before handing it to OpenGL, which
// stores column-major. The GL bridge calls (LoadFromGL, GLLoadMatrix,
// GLMultMatrix) copy the 16 floats as they stand, without transposing; they
// belong to the OpenGL toolkit (svgl, Sv_Matrix4GL.cpp), so this library
// needs no OpenGL, and only code that links svgl calls them.
class Sv_Matrix4 {
 public:
  // All sixteen elements 0.
  Sv_Matrix4();
  Sv_Matrix4(const Sv_Matrix4& other);
  Sv_Matrix4& operator=(const Sv_Matrix4& other);

  // The element at (row, column); 0 for indices outside 0..3.
  float Get(int row, int column) const;
  // Sets the element at (row, column); indices outside 0..3 are ignored.
  void Set(int row, int column, float value);
  // Copies all elements of other.
  void Assign(const Sv_Matrix4& other);

  // Identity matrix.
  void SetIdentity();

  // Inverts in place. A singular matrix becomes all zeros and -1 is
  // returned; 0 on success.
  int Invert();
  void Transpose();

  // result(i, j) = sum over k of this(i, k) * rhs(k, j).
  Sv_Matrix4 operator*(const Sv_Matrix4& rhs) const;

  // Resets to the identity, then sets the rotation by degrees about axis
  // 'x', 'y' or 'z' (either case): the same rotation glRotatef produces,
  // in this row-major layout. Any other axis leaves the identity.
  void SetRotation(int degrees, char axis);
  // Resets to the identity, then sets the diagonal scale.
  void SetScale(double sx, double sy, double sz);
  // Resets to the identity, then sets the translation (elements 3, 7, 11).
  void SetTranslation(double tx, double ty, double tz);

  // --- OpenGL bridges, defined by the OpenGL toolkit (svgl) ---
  // Copies the current GL matrix: the model-view matrix when the matrix
  // mode is GL_MODELVIEW, else the projection matrix. Needs a current
  // GL context.
  void LoadFromGL();
  // glLoadMatrixf / glMultMatrixf on the 16 floats as they stand.
  void GLLoadMatrix() const;
  void GLMultMatrix() const;

  // Writes the 16 floats row after row as float32 (64 bytes) in byte
  // order 1. Returns 0, or -1 when the file is null or the write fails.
  int Write(FILE* file) const;
  // Reads the 64 bytes that Write writes, in the given byte order (1 as
  // Write writes it, 0 byte-reversed). Returns 0, or -1 when the file is
  // null or ends early; the matrix is then left unchanged.
  int Read(FILE* file, int byteOrder = 1);

  // The 16 floats, e.g. for handing to OpenGL.
  float* GetMatrixPTR() { return m_data; }
  const float* GetMatrixPTR() const { return m_data; }
  float* GetData() { return m_data; }
  const float* GetData() const { return m_data; }

 private:
  float m_data[16];
};

// Helpers on plain float[16] arrays in OpenGL's column-major order:
// element (row, column) at column * 4 + row.

// out = a * b. out may be a or b.
// Column-major (OpenGL order) double matrices, as glLoadMatrixd takes them.
void IdentityMatrix4d(double m[16]);
// out = a * b; out may be a or b.
void MultMatrix4d(double out[16], const double a[16], const double b[16]);

void MultMatrix4(float out[16], const float a[16], const float b[16]);
// The inverse by cofactors; all zeros when the matrix is singular. Returns
// 0, or -1 for a singular matrix. out may be in.
int InvertMatrix4(float out[16], const float in[16]);
// (x, y, z, 1) through m, divided by the resulting w (not divided when w is 0).
void TransformPoint4(float out[3], const float m[16], float x, float y, float z);

#endif
