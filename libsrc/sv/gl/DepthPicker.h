#ifndef DEPTHPICKER_H
#define DEPTHPICKER_H

#include "Sv_Matrix4.h"

// Finds the 3-D point under a window pixel from the depth buffer of the
// framebuffer that is bound, which must still hold the frame drawn with the
// matrices the picker is given. Window pixels are device pixels with the
// origin at the bottom left; un-projection uses the pixel's centre.
class DepthPicker {
 public:
  // The viewport size in pixels (the work area starts with 320 x 200).
  DepthPicker(float width, float height);
  virtual ~DepthPicker();

  // The viewport size, set before each pick.
  void SetSize(float width, float height);
  float GetWidth() const { return m_width; }
  float GetHeight() const { return m_height; }

  // Takes the model-view matrix of an object's frame, as LoadFromGL reads
  // it (OpenGL order), for the following picks: stores its inverse and
  // re-reads and inverts the current GL projection matrix. Needs a current
  // GL context. Returns 0, or -1 when either matrix is singular (picks then
  // miss until the next call).
  int SetModelMatrix(const Sv_Matrix4& modelView);

  // Reads the depth under window pixel (x, y) and un-projects it, through
  // the current GL viewport, the projection and the model-view matrix of
  // the last SetModelMatrix, into that frame's coordinates. Returns 0 on a
  // hit. Returns -1, with all three outputs -1e10, for a pixel outside the
  // picker's size, for background (nothing drawn, depth at the far value)
  // and after a singular matrix.
  int Pick(int x, int y, float* wx, float* wy, float* wz);

  // Searches the (2n + 1) x (2n + 1) block of pixels around (x, y), cut to
  // the picker's size: takes the centre pixel when something was drawn
  // there, else the first drawn pixel of the block (rows from the bottom,
  // each from the left), and un-projects it with the current GL model-view
  // and projection matrices and the viewport (0, 0, width, height). Returns
  // 0 with the point written; 1 when only background lies there (outputs
  // unchanged). A negative n searches the centre pixel only; n is capped
  // at 64.
  int PickNear(int x, int y, double* wx, double* wy, double* wz, int n);

 private:
  float m_width;
  float m_height;
  // Inverses of the model-view (given) and projection (read) matrices, in
  // OpenGL order.
  float m_invModel[16];
  float m_invProjection[16];
  int m_valid;
};

#endif
