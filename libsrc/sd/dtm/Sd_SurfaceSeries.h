#ifndef SD_SURFACESERIES_H
#define SD_SURFACESERIES_H

#include <string>
#include <vector>

#include "Sd_Node.h"

class Sd_SeriesFrameView;

// A time series of surfaces on one grid (object tag 10040, settings tag
// 10041, node type 28, class name "Non-Cont. DTM"): frames of rows x cols
// 16-bit height codes, each node with a packed colour, all resident. A node
// whose code is 0 is empty. One frame is drawn at a time; every whole
// drawing (Render) steps to the next frame, after waiting a frame delay of
// drawings when one is set, and calls the scene's frame callback.
//
// The frames are drawn, thinned to the view and picked exactly as the
// non-contiguous terrain model draws and picks its grid: the series keeps
// an internal terrain model (a frame view) whose height and colour rows are
// the current frame's, held in place (Sd_BaseDTM::HoldRows), so stepping a
// frame only re-points two row tables. The node's transform, bounds and
// bounding-box settings are handed to the view before each drawing or pick.
//
// Storage: the heights of all frames are one row-pointer grid of frames x
// rows rows of cols codes (frame f's rows are rows f * rows ...), the
// colours another of the same shape; sizes are computed in 64 bits and
// checked against the records before anything is allocated.
//
// Records (docs/file-formats.md): the object record 10040 (frame count and
// frame names), the height SCALAR (columns, rows, frames), the colour
// SCALAR (packed colours taken byte for byte), the common tags and the
// settings record 10041. A series read from a file is saved as a
// file-pointer record naming that file (its description), followed by the
// common tags and the settings: the frames stay where they are. A series
// that has no such file (or whose file is the one being written) is saved
// with its records, so that saving never loses its frames.
class Sd_SurfaceSeries : public Sd_Node {
 public:
  static constexpr int kTypeId = 28;
  // Most frames a series may have.
  static constexpr int kMaxFrames = 1 << 20;

  Sd_SurfaceSeries();
  ~Sd_SurfaceSeries() override;

  // Reads the object record's payload (the factory has read its header),
  // the height and colour SCALAR records and the common tags with the
  // settings. 0 on success; -1, leaving the series without frames, for a
  // missing, damaged or mismatched record, or when memory runs out. Frame
  // names that do not number the frames or do not fit their record are
  // dropped with a message; the frames still load.
  int LoadObject(TDR_Manager* manager) override;
  // The file-pointer record naming the description, then (when asked) the
  // common tags and the settings record; the records themselves
  // (SaveDataRecords) when the description names no file or names the file
  // being written. 0, or -1 on a failed write or without frames to write.
  int SaveObject(TDR_Manager* manager, int withCommonTags, int unused) override;
  // The node's common tags, then the settings record.
  int WriteCommonTags(TDR_Manager* manager) override;
  // The object record with the frame names, the two SCALAR records and,
  // when withCommonTags is non-zero, the common tags with the settings. 0,
  // or -1 without frames or on a failed write.
  int SaveDataRecords(TDR_Manager* manager, int withCommonTags);
  // A small series of three named frames with a gap, common tags and
  // settings (the factory's sample).
  static int WriteSample(TDR_Manager* manager);

  // Detail settings of the drawing (stride and automatic level of detail):
  // kept, restored, and full detail (stride 1, no automatic choice; 1).
  void SaveSettings() override;
  void RestoreSettings() override;
  int ResetSettings() override;

  // Draws the current frame whole, calls the frame callback, then steps the
  // frame (when frame stepping is on).
  void Render() override;
  // One step of a progressive pass over the current frame (no stepping).
  int StepRender() override;
  const char* className() const override;

  // Screen pick, value query and geographic height of the current frame, as
  // the non-contiguous terrain model answers them: cells need four
  // non-empty corners; the top and right edges answer with the edge nodes.
  int QueryPoint(SDN_PickIn* request, SDN_PickOut* out) override;
  int ValueAt(double x, double y, int user) override;
  double GeoPickPoint(double x, double y, unsigned* colour) override;

  // --- frames ---
  // Frames of rows x cols nodes (codes 0, colours 0), replacing any earlier
  // ones; frame 0 becomes current. -1 (and no frames) for a size below 1
  // frame or 2 x 2 nodes, above the limits, or when memory runs out
  // ("ERROR:  Allocating memory chunk to hold scalar!").
  int AllocateFrames(int frames, int rows, int cols);
  // Row row of frame frame (heights / colours); null outside the frames.
  unsigned short* FrameHeights(int frame, int row) const;
  unsigned int* FrameColours(int frame, int row) const;
  int GetRows() const { return m_rows; }
  int GetCols() const { return m_cols; }
  int GetFrameCount() const { return m_frameCount; }
  // The frame drawn now; SetFrame makes frame (taken modulo the count) current.
  int GetFrame() const { return m_frame; }
  void SetFrame(int frame);
  unsigned short GetMinCode() const { return m_minCode; }
  unsigned short GetMaxCode() const { return m_maxCode; }
  // The z scale of drawing is 1 / maxCode.
  void SetCodeRange(unsigned short minCode, unsigned short maxCode);

  // --- frame stepping and names ---
  int GetAnimate() const { return m_animate; }
  void SetAnimate(int on) { m_animate = static_cast<short>(on); }
  // Drawings to wait between frames (also restarts the countdown).
  void SetFrameDelay(int n);
  int GetFrameDelay() const { return m_frameDelay; }
  int HasFrameNames() const { return m_hasFrameNames; }
  // Null without names; the current frame's name for i below 0; null for i
  // at or beyond the frame count; else name i.
  const char* GetFrameName(int i) const;
  // Names the frames (one name per frame; otherwise the names are dropped
  // and false returned).
  bool SetFrameNames(const std::vector<std::string>& names);

  // --- drawing settings ---
  // Alpha 0 ... 255, written into the alpha byte of every colour of every
  // frame; below 255 the drawing blends.
  void SetAlpha(int alpha);
  int GetAlpha() const;
  // 0 wire frame, 1 solid; other values draw nothing but the bounding box.
  void SetDrawMode(short mode);
  short GetDrawMode() const;
  void SetLODStep(int step);
  int GetLODStep() const;
  void SetAutoLOD(int on);
  int GetAutoLOD() const;
  // The visible window and stride for the current view (as the terrain
  // models choose them); 0 when nothing is on screen.
  int Optimize();
  void GetWindow(int* colStart, int* colEnd, int* rowStart, int* rowEnd) const;
  // The view centre as a fractional grid row and column (not limited to
  // the grid), for a projection and the inverse of projection x model-view.
  void GetViewCentre(const float projection[16], const float inverse[16], float* row, float* col) const;
  // Grid column, row and code of the last screen pick; column -1 after a miss.
  const float* GetPickPosition() const;
  // State of the progressive pass and the matrices it holds pushed.
  int GetStepState() const;
  int GetPushCount() const;
  // The default colour map ($WRUHOME/cmaps/step16.cmap, else the built-in
  // ramp) and whether the file was read.
  const unsigned* GetColorTable() const;
  int IsColorTableLoaded() const;

 protected:
  // Takes the settings record among the records after the object's own.
  int ReadOwnRecord(TDR_Manager* manager, int tag) override;

 private:
  // The object record's payload: the frame count and the names.
  void ReadNames(TDR_Manager* manager);
  // The two SCALAR records. 0 or -1 (after the message).
  int ReadHeights(TDR_Manager* manager);
  int ReadColours(TDR_Manager* manager);
  void ReadSettingsRecord(TDR_Manager* manager);
  // Releases the frames (the view first lets go of their rows).
  void ReleaseFrames();
  // Hands the node's transform, bounds and box settings to the view and
  // points it at the current frame.
  void PrepareView();
  // Advances the frame after a whole drawing.
  void StepFrame();

  int m_rows;
  int m_cols;
  int m_frameCount;
  unsigned short** m_frames;      // frames x rows rows of cols codes
  unsigned int** m_frameColors;   // the same shape, packed colours
  unsigned short m_minCode;
  unsigned short m_maxCode;
  int m_frame;
  int m_viewFrame;  // the frame the view holds, -1 none
  short m_animate;
  int m_hasFrameNames;
  std::vector<std::string> m_frameNames;
  int m_frameDelay;
  int m_frameCountdown;
  Sd_SeriesFrameView* m_view;
};

#endif
