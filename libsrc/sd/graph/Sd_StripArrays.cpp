// Client-side arrays for grid surfaces drawn strip by strip.
#include "Sd_StripArrays.h"

#include <GL/gl.h>

// Colours go to OpenGL as the bytes R, G, B, A of the packed word.
static_assert(__BYTE_ORDER__ == __ORDER_LITTLE_ENDIAN__, "packed colours are handed to OpenGL as bytes");

void Sd_StripArrays::Reserve(size_t n, unsigned parts) {
  if (m_vertices.size() < n * 3) m_vertices.resize(n * 3);
  if ((parts & kColours) && m_colours.size() < n) m_colours.resize(n);
  if ((parts & kNormals) && m_normals.size() < n * 3) m_normals.resize(n * 3);
  if ((parts & kTexCoords) && m_texCoords.size() < n * 2) m_texCoords.resize(n * 2);
}

void Sd_StripArrays::Point(unsigned parts) const {
  glVertexPointer(3, GL_FLOAT, 0, m_vertices.data());
  if (parts & kColours) glColorPointer(4, GL_UNSIGNED_BYTE, 0, m_colours.data());
  if (parts & kNormals) glNormalPointer(GL_FLOAT, 0, m_normals.data());
  if (parts & kTexCoords) glTexCoordPointer(2, GL_FLOAT, 0, m_texCoords.data());
}

Sd_StripArrays::ClientState::ClientState(unsigned parts) {
  glPushClientAttrib(GL_CLIENT_VERTEX_ARRAY_BIT);
  glEnableClientState(GL_VERTEX_ARRAY);
  if (parts & kColours) glEnableClientState(GL_COLOR_ARRAY);
  if (parts & kNormals) glEnableClientState(GL_NORMAL_ARRAY);
  if (parts & kTexCoords) glEnableClientState(GL_TEXTURE_COORD_ARRAY);
}

Sd_StripArrays::ClientState::~ClientState() { glPopClientAttrib(); }
