// The OpenGL bridges of Sv_Matrix4, which live with the OpenGL toolkit so
// that the non-graphic library needs no OpenGL. They copy the 16 floats as
// they stand: OpenGL's column-major order in, and out.
#include <GL/gl.h>

#include "Sv_Matrix4.h"

void Sv_Matrix4::LoadFromGL() {
  GLint mode = 0;
  glGetIntegerv(GL_MATRIX_MODE, &mode);
  glGetFloatv(mode == GL_MODELVIEW ? GL_MODELVIEW_MATRIX : GL_PROJECTION_MATRIX, GetData());
}

void Sv_Matrix4::GLLoadMatrix() const { glLoadMatrixf(GetData()); }

void Sv_Matrix4::GLMultMatrix() const { glMultMatrixf(GetData()); }
