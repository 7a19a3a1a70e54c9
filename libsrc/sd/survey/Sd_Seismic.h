#ifndef SD_SEISMIC_H
#define SD_SEISMIC_H

#include <memory>
#include <vector>

#include "Sd_FrameState.h"
#include "Sd_Node.h"

class TDR_Manager;
class Sv_ImageIO;
class Sv_TexturedSurface;

// The seismic curtain ("Sd_Seismic", object tag 10300, settings tag 10302,
// node type 20): an image standing upright along a track of points on the
// ground. Image column k belongs to track point k; image row 0 is at the
// bottom height, the top edge at the top height.
//
// The image is shown through a tiled texture (256 x 256 tiles and one
// low-resolution copy). Tile column c covers the track points b(c) ... b(c + 1)
// (GetColumnBound), its texture running linearly over them by point index;
// tile row r covers the heights z(r) ... z(r + 1) (GetRowHeight). The curtain
// is drawn as one quad strip per tile, or one strip over the whole track
// with the low-resolution copy, windowed to the part of the track in view
// through a bounding-box tree over the track points (16 points a leaf).
//
// Texture modes: 0 the low-resolution copy, 1 full-resolution tiles, 2
// chosen per view (0 when loaded with more than 16 tiles), 3 the
// low-resolution copy and no progressive drawing.
//
// Once loaded the track is kept relative to its first point (GetOrigin), so
// drawing works in small numbers; it is written back absolute.
class Sd_Seismic : public Sd_Node {
 public:
  static constexpr int kTypeId = 20;
  // Track points per leaf of the track tree.
  static constexpr int kLeafPoints = 16;
  // Track points drawn by one call of a progressive pass (one tile's share).
  static constexpr int kPointsPerStep = 50;

  // A node of the track tree: the track indices first ... end (exclusive) it
  // covers and the x/y box of their points (relative to the origin). An
  // unused node covers nothing (first INT_MAX, end -1, an inverted box).
  struct TreeNode {
    int first;
    int end;
    double xmin, ymin, xmax, ymax;
  };

  // Empty; the texture mode comes from the class configuration
  // "VCurtainClass" (third line after the version), else 2.
  Sd_Seismic();
  ~Sd_Seismic() override;

  // Releases track, image, texture, tile tables and tree; counts become 0.
  void FreeData() override;
  // The object record's payload (bottom and top height, the track), the
  // image record, then the common tags with the settings record 10302.
  // The object record comes in two framings, told apart by its recorded
  // length: a length that covers the fields, or a length of 0 with the
  // fields written after the header (the image record must then follow
  // them). 0, or -1 when a record is missing or damaged, the track is
  // refused or its length differs from the image width (the object is then
  // unusable).
  int LoadObject(TDR_Manager* manager) override;
  // The object record (track absolute), the image record and, when
  // withCommonTags is non-zero, the common tags and the settings. 0, or -1
  // without an image or when a write fails.
  int SaveObject(TDR_Manager* manager, int withCommonTags, int unused) override;
  int WriteCommonTags(TDR_Manager* manager) override;
  // Keep / take back the step, texture mode and automatic detail; full
  // detail is step 1, full-resolution tiles, no automatic detail (returns 1).
  void SaveSettings() override;
  void RestoreSettings() override;
  int ResetSettings() override;
  // The whole curtain in view, in the current texture mode.
  void Render() override;
  // One call of a progressive pass (docs/design/sd-survey.md): returns 1 when
  // the pass is finished, 0 while it goes on or when it was abandoned.
  int StepRender() override;
  const char* className() const override;
  // A depth pick inside the curtain's box: the point in absolute
  // coordinates, colour all ones. 1 for a hit, else 0.
  int QueryPoint(SDN_PickIn* request, SDN_PickOut* out) override;

  // A small curtain with its common tags and settings (the factory's sample).
  static int WriteSample(TDR_Manager* manager);

  // --- building ---
  // Replaces the curtain: count absolute track points (x, y pairs), the
  // heights of the image's bottom row and top edge, and the image (the
  // object takes it). Builds texture, geometry and tree. 0, or -1 (the
  // object is then empty) when count differs from the image width, a point
  // or height is not finite, or the image cannot be textured.
  int SetCurtain(const double* xy, int count, double zBottom, double zTop, std::unique_ptr<Sv_ImageIO> image);
  // Tile boundaries, heights, texture limits, bounds and the curtain space
  // (from the track as it stands).
  void BuildGeometry();
  // The track tree over the (relative) track.
  void BuildTrackTree();
  // Alpha 0 wherever the colour is black (RGBA) or the grey is 0 (grey with
  // alpha), then the texture is rebuilt. Other images are left as they are.
  void MakeMask();

  // --- windowing ---
  // Whether a tree node's box meets the visible box (touching counts).
  bool NodeVisible(int node) const;
  // The leftmost (or rightmost) visible leaf below node, or -1.
  int FindEdgeLeaf(int node, bool leftmost) const;
  // The visible box (x, y relative to the origin, z), as Optimize sets it;
  // tests set it directly and then call UpdateVisibleRange.
  void SetVisibleBox(const float box[6]);
  // m_first / m_last from the tree and the visible box; false when nothing
  // of the track is in view.
  bool UpdateVisibleRange();
  // Visible box, visible range, texture detail and stride for the view
  // (its model-view in curtain space). 0 when nothing is to be drawn.
  int Optimize(const Sd_DTMView& view);
  int Optimize();

  // --- drawing pieces (curtain space current) ---
  void DrawTileRange(int row, int column, int stride, int from, int to);
  void DrawTile(int row, int column, int stride);
  void DrawTileSpan(int row, int column, int stride, int from, int to);
  void DrawLowRes(int stride);

  // --- state ---
  int GetTrackCount() const { return m_trackCount; }
  // Point i of the track in absolute coordinates.
  void GetTrackPoint(int i, double* x, double* y) const;
  const double* GetOrigin() const { return m_origin; }
  double GetBottom() const { return m_zBottom; }
  double GetTop() const { return m_zTop; }
  int GetTileRows() const { return m_tileRows; }
  int GetTileColumns() const { return m_tileCols; }
  int GetColumnBound(int c) const;
  float GetRowHeight(int r) const;
  int GetTreeNodeCount() const { return static_cast<int>(m_tree.size()); }
  int GetInnerCount() const { return m_innerCount; }
  int GetLeafCount() const { return m_leafCount; }
  const TreeNode* GetTreeNode(int i) const;
  int GetFirst() const { return m_first; }
  int GetLast() const { return m_last; }
  int GetTextureMode() const { return m_textureMode; }
  void SetTextureMode(int mode) { m_textureMode = mode; }
  int GetLodStep() const { return m_lodStep; }
  void SetLodStep(int step) { m_lodStep = step < 1 ? 1 : step; }
  int GetAutoLod() const { return m_autoLod; }
  void SetAutoLod(int on) { m_autoLod = on; }
  int GetAlphaTest() const { return m_alphaTest; }
  void SetAlphaTest(int on) { m_alphaTest = on; }
  int GetTextureDetail() const { return m_textureDetail; }
  int GetStepState() const { return m_stepState; }
  const Sv_ImageIO* GetImage() const { return m_image.get(); }
  Sv_TexturedSurface* GetTexture() const { return m_texture.get(); }

 protected:
  // Takes the settings record 10302.
  int ReadOwnRecord(TDR_Manager* manager, int tag) override;

 private:
  // Scale and translation from the relative track into the unit box, after
  // the node transform and its bounding box; alpha test and depth test.
  void ApplyCurtainSpace();
  // The object record's fields in either framing. 0, or -1 after a message
  // (reading then goes on after the record's recorded payload).
  int ReadTrackRecord(TDR_Manager* manager);
  // Texture, geometry, origin and tree for the absolute track and image in
  // place. 0, or -1 after a message.
  int Assemble();
  // One quad strip over track points base + from ... base + to (the last
  // always drawn) at the stride, point base + k at s = k x sScale, from
  // height z0 (t = 0) to z1 (t).
  void DrawStrip(int base, int from, int to, int stride, float sScale, double z0, double z1, float t) const;
  // Ends an open progressive pass: its matrix popped, state reset.
  void ClosePass();
  // The texture mode from "VCurtainClass".
  void ReadConfiguration();

  unsigned char m_loaded;
  double m_zBottom;
  double m_zTop;
  int m_trackCount;
  std::vector<double> m_track;  // x, y pairs
  int m_lodStep;
  int m_textureMode;
  int m_alphaTest;
  int m_autoLod;
  int m_minStep;
  int m_first;
  int m_last;
  float m_visible[6];
  int m_textureDetail;
  std::vector<TreeNode> m_tree;
  int m_innerCount;
  int m_leafCount;
  int m_tileRows;
  int m_tileCols;
  std::unique_ptr<Sv_ImageIO> m_image;
  std::unique_ptr<Sv_TexturedSurface> m_texture;
  std::vector<int> m_colBounds;
  std::vector<float> m_rowZ;
  std::vector<float> m_sMax;
  std::vector<float> m_tMax;
  float m_lowS;
  float m_lowT;
  double m_centre[3];
  double m_inverse[3];
  double m_origin[2];
  int m_stepState;
  int m_pushCount;
  int m_stepIncrement;
  int m_tileRow;
  int m_tileColumn;
  int m_columnCursor;
};

#endif
