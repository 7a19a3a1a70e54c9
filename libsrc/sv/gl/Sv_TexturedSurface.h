#ifndef SV_TEXTUREDSURFACE_H
#define SV_TEXTUREDSURFACE_H

#include <GL/gl.h>

#include <memory>
#include <vector>

#include "Sv_GLPixelLayout.h"

class Sv_2DData;

// A large image shown as a rectangle of texture tiles, with a
// low-resolution stand-in for views that do not need every pixel.
//
// The image is cut into tiles of 256 x 256 pixels, tile (0, 0) at its
// bottom-left corner (row 0 of an image is its bottom row); the last tile
// column and row take what is left, and their texture coordinates stop at
// the s and t limits GetSMax and GetTMax (below 1.0), so that only image
// pixels are shown. When a side of the image exceeds 256 pixels, a
// 256 x 256 low-resolution copy is made by area averaging.
//
// The tiles lie on a vertex grid of (tiles down + 1) x (tiles across + 1)
// points spanned between two corners: columns run along x and rows along
// y; when the corners differ in z the surface stands upright, columns
// running along x and y together and rows along z.
//
// Everything up to the drawing works without OpenGL: SetImage and the
// accessors make no GL call. Texture names are made at the first bind
// (BindTile uploads every tile, BindLowRes the low-resolution copy), read
// straight from the image, which the surface keeps by pointer and does not
// copy: it must live as long as the surface shows it. The names belong to
// the context current at that bind; ReleaseTextures and the destructor
// delete them and need that context current (the work area makes it
// current before it releases a scene). A surface never bound makes no GL
// call at all.
class Sv_TexturedSurface {
 public:
  static const int kTileSide = 256;
  static const int kLowResSide = 256;

  // No image; corners (-0.5, -0.5, 0) and (0.5, 0.5, 0); a low-resolution
  // copy is made for large images.
  Sv_TexturedSurface();
  ~Sv_TexturedSurface();
  Sv_TexturedSurface(const Sv_TexturedSurface&) = delete;
  Sv_TexturedSurface& operator=(const Sv_TexturedSurface&) = delete;

  // Shows the image (kept by pointer, not copied): tile counts, s and t
  // limits and vertex grid; when a side exceeds 256 pixels, the
  // low-resolution copy is made at its first use (GetLowRes, BindLowRes). Textures of an earlier image are dropped (their
  // names are deleted at the next upload or release). A null image empties
  // the surface (0). An image without pixels, or of a format other than the
  // 8-bit formats 1 to 6 (a warning names it), leaves the surface empty: -1.
  int SetImage(const Sv_2DData* image);
  // The two corners of the surface (x, y, z each) in the object's own
  // space; rebuilds the vertex grid.
  void SetCorners3D(const float a[3], const float b[3]);

  // Draws every tile, row by row, as textured quads.
  void DrawTiles();
  // Draws the tile of tile row row and tile column column.
  void DrawTile(int row, int column);
  // Draws the low-resolution copy as one quad when there is one, else
  // every tile.
  void Draw();

  int GetNumTilesX() const { return m_tilesX; }
  int GetNumTilesY() const { return m_tilesY; }
  // Point (row, column) of the vertex grid, 0 <= row <= tiles down,
  // 0 <= column <= tiles across: three floats. A point outside the grid
  // gives (0, 0, 0).
  const float* GetVertex(int row, int column) const;
  // Texture-coordinate limit of a tile column or row: 1.0 but for a partial
  // last column or row (pixels left over / 256); 0 outside the tiles.
  float GetSMax(int column) const;
  float GetTMax(int row) const;
  // The limits that go with BindLowRes: 1.0 for an image with a
  // low-resolution copy, else those of tile column 0 and tile row 0.
  float GetFirstSMax() const;
  float GetFirstTMax() const;
  // True when the image has a low-resolution copy (a side above 256
  // pixels); the copy itself is made at its first use.
  bool HasLowRes() const;
  // The low-resolution copy (256 x 256, the image's format, area-averaged),
  // made at the first call after SetImage; null without one.
  const Sv_2DData* GetLowRes() const;

  // Binds the texture of a tile (GL_TEXTURE_2D), uploading every tile at
  // the first call after SetImage. -1, with texture 0 bound, when there is
  // no such tile or its upload failed.
  int BindTile(int row, int column);
  // Binds the low-resolution texture, uploading it at the first call; tile
  // (0, 0) when there is no low-resolution copy.
  int BindLowRes();
  // Binds texture 0.
  void Unbind();
  // Deletes every texture name; the next bind uploads again. Needs the
  // context the textures were made in to be current.
  void ReleaseTextures();

 private:
  void BuildGrid();
  void DropTextures();
  void DeleteStaleNames();
  int UploadTiles();
  // One quad over grid points (row0, column0) to (row1, column1), texture
  // coordinates from (0, 0) to (s, t).
  void DrawQuad(int row0, int column0, int row1, int column1, float s, float t) const;

  const Sv_2DData* m_image;
  Sv_GLPixelLayout m_layout;
  int m_tilesX;
  int m_tilesY;
  float m_cornerA[3];
  float m_cornerB[3];
  std::vector<float> m_vertices;  // (m_tilesY + 1) x (m_tilesX + 1) points of 3 floats
  std::vector<float> m_sMax;      // per tile column
  std::vector<float> m_tMax;      // per tile row
  bool m_wantLowRes;
  mutable std::unique_ptr<Sv_2DData> m_lowRes;
  mutable bool m_lowResTried;
  std::vector<GLuint> m_tileNames;   // row by row; empty until the first BindTile
  GLuint m_lowResName;
  std::vector<GLuint> m_staleNames;  // names of an earlier image, deleted at the next upload
};

#endif
