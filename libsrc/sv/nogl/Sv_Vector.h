#ifndef SV_VECTOR_H
#define SV_VECTOR_H

// A vector of up to four doubles.
#define MAX_VECTOR_SIZE 4

class Sv_Vector {
 public:
  Sv_Vector(double x = 0.0, double y = 0.0, double z = 0.0, double w = 0.0);

  // Component i (0..3); 0 for an index outside that range.
  double Get(int i) const;
  // Sets component i; an index outside 0..3 is ignored.
  void Set(int i, double value);

  double* GetData() { return m_data; }
  const double* GetData() const { return m_data; }

 private:
  double m_data[MAX_VECTOR_SIZE];
};

// Helpers on float[3] vectors and float[4] planes. Output arrays may be the
// same as input arrays.

void VecCopy3f(float out[3], const float v[3]);
// out = a + b.
void VecAdd3f(float out[3], const float a[3], const float b[3]);
// out = a - b.
void VecSub3f(float out[3], const float a[3], const float b[3]);
// out = v * s.
void VecScale3f(float out[3], const float v[3], float s);
float VecDot3f(const float a[3], const float b[3]);
// out = a x b.
void VecCross3f(float out[3], const float a[3], const float b[3]);
// Scales v in place to unit length and returns its former length; the zero
// vector stays the zero vector (and 0 is returned).
float VecNormalize3f(float v[3]);

// Signed distance of p from the plane (normal in plane[0..2], unit length
// as PlaneFromPoints3f makes it): p . normal + plane[3].
float PlaneDistance3f(const float plane[4], const float p[3]);
// The plane through p1, p2, p3: unit normal (p2 - p1) x (p3 - p1), offset
// -(normal . p1). Collinear points give the zero normal and offset 0.
void PlaneFromPoints3f(float plane[4], const float p1[3], const float p2[3], const float p3[3]);

#endif
