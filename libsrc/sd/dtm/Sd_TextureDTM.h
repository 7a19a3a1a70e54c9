#ifndef SD_TEXTUREDTM_H
#define SD_TEXTUREDTM_H

#include <memory>
#include <vector>

#include "Sd_SonarDTM.h"

class Sv_ImageIO;
class Sv_TexturedSurface;

// The mesh of one texture tile: the part of the elevation grid that the
// tile covers, with the grid's columns and rows inside the tile and, where
// a tile edge falls between grid nodes, one more column or row on that
// edge whose heights are interpolated (SampleElevation). Neighbouring tiles
// therefore share their border nodes and heights, and the tiles' meshes meet
// without cracks. Positions are in grid units (column, row), texture
// coordinates run from 0 to the tile's s and t limits.
struct TextureTileMesh {
  int cols = 0;
  int rows = 0;
  std::vector<float> x;                // per column: grid column
  std::vector<float> y;                // per row: grid row
  std::vector<float> s;                // per column
  std::vector<float> t;                // per row
  std::vector<unsigned short> heights;  // rows x cols height codes, row 0 first

  const unsigned short* HeightRow(int r) const { return &heights[static_cast<size_t>(r) * cols]; }
};

// The "Textured DTM" (object tag 10050, settings tag 10051, node type 31):
// a non-contiguous terrain with an image draped over it. The image covers
// the grid exactly (its left and bottom edges on column and row 0, its right
// and top edges on the last column and row) and is shown through a tiled
// texture: either one low-resolution texture over the visible window, or
// each 256 x 256 tile with its own texture over its own mesh at full
// resolution. Tiles are visited on square rings around the tile under the
// view centre, so a progressive pass fills the middle of the view first.
//
// Texture display modes (m_textureMode): 0 the low-resolution texture, 1
// and 3 full-resolution tiles, 2 chosen per view by the texture detail test
// (a texture of more than 16 tiles loaded in mode 2 is shown in mode 0).
// With the texture switched off (m_showTexture 0) it draws as the
// non-contiguous terrain it is.
//
// Records: the object record 10050 (empty), the image record, the image's
// GEOREF, the elevation SCALAR, an optional colour SCALAR (without it every
// node is grey by the high byte of its height code), the grid's GEOREF,
// then the common tags with the settings record 10051 and the alternate
// values (docs/file-formats.md).
//
// Picks, value and height queries are those of the non-contiguous terrain:
// a cell answers when its four corners hold heights.
class Sd_TextureDTM : public Sd_SonarDTM {
 public:
  static constexpr int kTypeId = 31;
  // Walk state of the tile rings and the visible window in grid space
  // (Render keeps a progressive pass's state in it while it draws).
  struct TileWalk {
    int ring = 0, lastRing = 0, side = 0, steps = 0;
    int tileCol = 0, tileRow = 0;      // tile cursor
    int centreCol = 0, centreRow = 0;  // tile under the view centre
    int window[4] = {0, 0, 0, 0};       // tile-local columns and rows [start, end], inclusive
    float viewExtent[4] = {0, 0, 0, 0};  // visible x (column) min, max, y (row) min, max
    float viewCentre[2] = {0, 0};        // view centre's grid row and column
  };

  // Empty; the texture mode comes from the class configuration
  // "TextureDTMClass" (third line after the version), else 2.
  Sd_TextureDTM();
  ~Sd_TextureDTM() override;

  // Releases the tile meshes, texture coordinates, texture and image, then
  // the grids. Texture names go with the texture: the context they were
  // made in must be current.
  void FreeData() override;
  // The records after the object record's header (see above). 0 on
  // success; -1 after the record's message when a record is missing or
  // damaged, the image cannot be shown as a texture or the grid is
  // unusable: the object is then empty.
  int LoadObject(TDR_Manager* manager) override;
  // Object record, image, image GEOREF, elevations, colours (unless the
  // colours were made from the heights at loading), grid GEOREF and, when
  // withCommonTags is non-zero, the common tags. 0, or -1 without image or
  // grids or when a write fails.
  int SaveObject(TDR_Manager* manager, int withCommonTags, int unused) override;
  // The common tags, the settings record 10051 and the alternate values.
  int WriteCommonTags(TDR_Manager* manager) override;
  // A small textured terrain with a gap (the factory's sample).
  static int WriteSample(TDR_Manager* manager);
  const char* className() const override;

  // --- detail settings: the stride, texture mode and automatic detail ---
  void SaveSettings() override;
  void RestoreSettings() override;
  // Stride 1, full-resolution tiles, no automatic detail; returns 1.
  int ResetSettings() override;

  // --- drawing ---
  void Render() override;
  int StepRender() override;

  // --- building ---
  // Replaces the drape: the object takes the image, cuts it into tiles and
  // builds the tile meshes over the grids it holds. 0, or -1 (no image kept)
  // without a drawable grid or when the image cannot be shown as a texture.
  int SetImage(std::unique_ptr<Sv_ImageIO> image);
  // Sets the alpha of every pixel of an RGBA or ABGR image to 255 and
  // rebuilds the texture.
  void MakeImageOpaque();
  // Height code at grid position (x, y), clamped to the grid: the empty
  // code when one of the four nodes around it is empty, else interpolated
  // along x on both rows, then along y, and truncated.
  unsigned short SampleElevation(float x, float y) const;

  // --- windowing and the tile walk ---
  // Visible window, stride, texture detail, view centre and centre tile
  // for the view (grid space current in it); starts a new tile walk. 0
  // when nothing of the grid is in view.
  int Optimize(const Sd_DTMView& view);
  int Optimize();
  // Moves the walk to the next visible tile and computes its window and
  // progressive cursors: 0, or 1 when the walk has ended.
  int NextVisibleTile();
  const TileWalk& GetWalk() const { return m_walk; }

  // --- state ---
  int GetTileRows() const { return m_tileRows; }
  int GetTileCols() const { return m_tileCols; }
  const TextureTileMesh* GetTileMesh(int row, int col) const;
  const std::vector<float>& GetSCoords() const { return m_sCoords; }
  const std::vector<float>& GetTCoords() const { return m_tCoords; }
  const float* GetImageBounds() const { return m_imageBounds; }
  void SetImageBounds(const float bounds[6]);
  const Sv_ImageIO* GetImage() const { return m_image.get(); }
  Sv_TexturedSurface* GetTexture() const { return m_texture.get(); }
  int GetTextureMode() const { return m_textureMode; }
  void SetTextureMode(int mode) { m_textureMode = mode; }
  int GetShowTexture() const { return m_showTexture; }
  void SetShowTexture(int on) { m_showTexture = on; }
  int GetTextureDetail() const { return m_textureDetail; }
  // Colours from the heights, as for a terrain without colour record: every
  // node grey by its code's high byte, opaque; the colour record is then
  // not written.
  void MakeGreyColours();
  // True when the colours were made from the heights (no colour record).
  bool HasGreyColours() const { return m_greyColours; }

 protected:
  // Takes the settings record 10051 and the alternate values.
  int ReadOwnRecord(TDR_Manager* manager, int tag) override;

 private:
  // Tile meshes and whole-grid texture coordinates for the grid and the
  // texture in place.
  void BuildTileMeshes();
  // Drops the texture, then the image and the meshes and coordinates made
  // for them.
  void DropDrape();
  void BuildTileMesh(int row, int col, TextureTileMesh* mesh) const;
  void ReadSettingsRecord(TDR_Manager* manager);

  // Drawing pieces; grid space current, texture bound.
  // One row strip between row y0 (heights h0, texture t0) and row y1 (h1,
  // t1) over m_rowColumns: column k at x[k] (k itself without x) with
  // texture s[k]. A column whose height is empty on either row ends the
  // strip; the next one holding heights on both starts a new one.
  void DrawTexturedStrip(const float* x, const float* s, const unsigned short* h0, const unsigned short* h1, float y0,
                         float y1, float t0, float t1);
  void DrawTile(int stride);
  void DrawTileRow(int stride, int r);
  void DrawLowRes(int stride);
  // Tiles or the low-resolution texture by the texture mode and detail.
  bool DrawsTiles() const;
  // Polygons as lines for the wire frame; back to filled.
  void BeginDrawMode() const;
  static void EndDrawMode();
  // Ends a progressive pass: pops what it pushed, blending, texturing and
  // the wire frame off, clears the progressive state and the redraw-pending
  // flag; sets and returns the drawn flag.
  int EndPass(int drawn);

  int m_tileRows;
  int m_tileCols;
  std::vector<TextureTileMesh> m_tileMeshes;  // row by row
  std::vector<float> m_sCoords;               // per grid column
  std::vector<float> m_tCoords;               // per grid row
  float m_imageBounds[6];
  std::unique_ptr<Sv_ImageIO> m_image;
  std::unique_ptr<Sv_TexturedSurface> m_texture;
  int m_textureMode;
  int m_showTexture;
  int m_textureDetail;
  bool m_greyColours;
  TileWalk m_walk;
  // The columns of one drawn row and the (first, count) pairs of its pieces.
  std::vector<int> m_rowColumns;
  std::vector<int> m_texPieces;
};

#endif
