#ifndef SD_NODE_H
#define SD_NODE_H

#include <cstddef>

#include "Sd_FrameState.h"
#include "Sv_Colour.h"

class TDR_Manager;
class TDR_GeoRef;
class DepthPicker;
class Sv_Lighting;
class Sv_HersheyFont;
class Sd_Node;

// Pick request, built by the work area and handed unchanged down the tree.
struct SDN_PickIn {
  DepthPicker* picker;
  int x;        // window column; the pick uses the low 16 bits
  int y;        // window row, counted from the bottom
  int mode;     // query kind: 1 for the selecting tool, 0 otherwise
  int subMode;  // action code: 0 readout, 1 release, 2 drag to, 3 drag start, 4 drag end
};

// What a height query (Sd_Node::GeoPickPoint) answers where no surface lies,
// and the height of a pick that hit no surface (a two-dimensional hit).
constexpr double SD_PICK_NO_SURFACE = 1e12;
// The value of a pick record where no scalar was picked (the preset).
constexpr double SD_PICK_NO_VALUE = -1e20;

// Pick result. The work area presets value to SD_PICK_NO_VALUE and found to 0.
struct SDN_PickOut {
  double x, y, z;    // picked point in the data units of the object hit; z SD_PICK_NO_SURFACE: no height
  double value;      // scalar at the point
  int pointIndex;    // picked point or element, -1 where the object has none
  Sd_Node* node;     // the object hit
  int found;         // 1 when an object answered
  unsigned colour;   // packed colour at the point (terrain and soundings)
};

// The scene-wide coordinate type (Sd_Node::SetCoordinateType): how the
// scene's x and y are to be read. A 16-bit code; the values convert to short.
enum Sd_CoordinateType : short {
  SD_COORDS_UNDECIDED = 0,          // not yet decided (decided after a load)
  SD_COORDS_GEOGRAPHIC = 1,         // geographic degrees
  SD_COORDS_PROJECTED = 2,          // projected or plain units
  SD_COORDS_PROJECTED_3_DECIMALS = 3,  // projected, heights shown to three decimals
  SD_COORDS_SPHERE = 4              // geographic on a spherical terrain; nodes are not fitted
};

// A {min, max, third} range of the node record.
struct Sd_Range {
  float min, max, third;
};

// Layout of the tick labels of a node's bounding box (see
// Sd_Node::LayoutBoxLabels). Axes are 0 x, 1 y, 2 z.
struct Sd_BoxLabelLayout {
  int labelled;        // 0: the box is drawn as an outline only
  int geographic;      // 1: x and y labels with six decimals
  const char* format;  // format of the x and y labels; z labels use "%.2f"
  int count[3];        // tick intervals per axis; ticks at 0 ... count
  int labelAxis[3];    // 0: the axis gets ticks but no labels (value step below 1e-9)
  double start[3];     // value at the first tick (the axis minimum)
  double step[3];      // value step from one tick to the next
  double range[3];     // dx, dy, dz that size the label glyphs (dz adjusted)
  float scale[3];      // label scales of x, y, z (z: the smallest of the three)
};

// The base class of every object of the scene graph.
//
// Every object draws its data in the box -0.5 ... 0.5 on each axis; the
// node's transform (translate, rotate about x, y, z, scale) places that box in
// the parent's frame. A node does not own its siblings or children; it owns
// its georeference, colour map and data buffer.
class Sd_Node {
 public:
  // Hook signatures. The user data comes last.
  typedef void (*ProgressHook)(int a, int b, void* data);
  typedef void (*PlainHook)(void* data);
  typedef void (*StateHook)(int state, int value, void* data);
  typedef void* (*PointListHook)(int* closed, void* data);
  typedef void (*QueryCallback)(double x, double y, double value, int user, SDN_PickOut* out, void* data);
  typedef void (*CellSelectCallback)(const float point[3], const double projection[16], const double modelview[16],
                                     void* data);
  typedef void (*BusyCallback)(int a, int b, void* data);
  typedef void (*ColorRangeCallback)(Sd_Node* node, float low, float high, void* data);

  Sd_Node();

  // --- virtual operations, in slot order ---
  virtual ~Sd_Node();
  virtual void FreeData();
  virtual void PostLoadOperations(int flag);
  virtual Sd_Node* GetNext();
  virtual void AddChild(Sd_Node* node);
  virtual void SetFirstChild(Sd_Node* node);
  virtual Sd_Node* GetFirstChild();
  virtual void Detach();
  virtual int RemoveChild(Sd_Node* node);
  virtual int MoveChild(Sd_Node* node, Sd_Node* target);
  virtual int UnlinkChild(Sd_Node* node);
  virtual int InsertChild(Sd_Node* node, Sd_Node* target);
  virtual int LoadObject(TDR_Manager* manager);
  virtual int SaveObject(TDR_Manager* manager, int withCommonTags, int flag);
  virtual int ReadCommonTags(TDR_Manager* manager);
  virtual int WriteCommonTags(TDR_Manager* manager);
  virtual void SaveSettings();
  virtual void RestoreSettings();
  virtual void Invalidate();
  virtual void Render();
  virtual int StepRender();
  virtual int ResetSettings();
  virtual const char* className() const;
  virtual void FitToScene(Sd_Node* scene, int flag);
  virtual void SetProfilePoint(int which, double x, double y);
  virtual void ComputeBounds();
  virtual int GetGeoUnitType();
  virtual void GetCentre(double out[3]);
  virtual void GetRotationAngles(double out[3]);
  virtual int QueryPoint(SDN_PickIn* request, SDN_PickOut* out);
  virtual int ValueAt(double x, double y, int user);
  virtual double GeoPickPoint(double x, double y, unsigned* colour);
  virtual int Hook2(int a, int b, int c, int d, unsigned char* flag);
  virtual void Hook3();
  virtual int WriteTemporaryData(const char* path);
  virtual int WriteTemporaryData();
  virtual void Hook4(int value);
  virtual void ShadeWithColorMap(float p1, float p2, float p3, float p4, float p5, float p6, double altMin,
                                 double altMax, const char* colorMapFile);

  // --- links ---
  Sd_Node* GetParent() const { return m_parent; }
  void SetParent(Sd_Node* parent) { m_parent = parent; }
  void SetNext(Sd_Node* next) { m_next = next; }
  void AppendSibling(Sd_Node* parent, Sd_Node* node);
  Sd_Node* GetRootOf();

  // --- flags and identity ---
  int IsGroup() const { return m_isGroup; }
  // The node type id (1 for a plain node). Every class the factory makes
  // states its id once, as its kTypeId; its constructor sets it and its
  // registration hands it to the class table.
  int GetType() const { return m_type; }
  int GetVisible() const { return m_visible; }
  void SetVisible(int on) { m_visible = on; }
  int GetAuxFlag() const { return m_auxFlag; }
  void SetParentFrame(int on) { m_parentFrame = on; }
  int GetParentFrame() const { return m_parentFrame; }
  void SetClientWords(int a, int b) { m_clientWords[0] = a; m_clientWords[1] = b; }
  const char* GetName() const { return m_name; }
  void SetName(const char* name);
  const char* GetDescription() const { return m_description; }
  void SetDescription(const char* text);

  // --- transform ---
  float* GetScale(char axis);
  void SetScale(float x, float y, float z);
  float* GetPosition(char axis);
  void SetPosition(float x, float y, float z);
  float* GetRotation(char axis);
  void SetRotation(float x, float y, float z);
  void ApplyTransform();

  // --- bounds ---
  float* GetBounds(int axis);  // {min, max} of axis 0 x, 1 y, 2 z; null otherwise
  void SetBounds(int axis, float min, float max);
  const double* GetExtents() const { return m_extents; }
  const double* GetCentres() const { return m_centres; }
  void UpdateExtentsFromBounds();
  TDR_GeoRef* GetGeoRef() const { return m_geoRef; }
  void SetGeoRef(TDR_GeoRef* geoRef);  // takes ownership

  // --- auxiliary data stored with the node ---
  float* GetAuxTriple() { return m_auxTriple; }
  int* GetAuxRecords() { return m_auxRecords; }
  Sd_Range* GetAuxRecord(int i);

  // --- colour map and shading ---
  unsigned* GetColorMap() const { return m_colorMap; }
  void SetColorMap(unsigned* colours);  // takes ownership of a malloc'ed 256-entry table
  const float* GetShadingParameters() const { return m_shading; }

  // --- bounding box and profile points ---
  int GetShowBoundingBox() const { return m_showBoundingBox; }
  void SetShowBoundingBox(int on) { m_showBoundingBox = on; }
  int* GetBoxTickSettings() { return m_boxTicks; }
  void ShowProfilePoint(int which, int on);
  const double* GetProfilePoint(int which) const;
  void DrawProfilePoints();
  // Draws the box -0.5 ... 0.5 with ticks and labels while the show flag is set.
  void DrawBoundingBox();
  // Most tick intervals a box axis gets, however elongated the box.
  enum { MAX_BOX_TICKS = 50 };
  // Fills the label layout of a box with the given bounds (xmin, xmax, ymin,
  // ymax, zmin, zmax). zScale is the z scale the labels follow; labelWidth and
  // labelHeight are the width of " 00000000.00 " and the font height at
  // scale 1. Returns layout->labelled.
  static int LayoutBoxLabels(const float bounds[6], short coordinateType, float zScale, float labelWidth,
                             float labelHeight, Sd_BoxLabelLayout* layout);
  // The text of label i of an axis.
  static void FormatBoxLabel(const Sd_BoxLabelLayout* layout, int axis, int i, char* text, size_t size);

  // --- level of detail and visibility ---
  // Matrices are float[16] in OpenGL's column-major order; boxes are six
  // floats xmin, xmax, ymin, ymax, zmin, zmax.
  // Fraction (0 ... 1) of the viewport that the box covers through matrix.
  static float EstimateScreenSize(const float matrix[16], const float box[6]);
  // Power-of-two thinning step for a raster or grid of cells cells drawn at
  // the screen size fraction size; mode 1 for one-dimensional data, any other
  // for two-dimensional. Adds detail-request bits to *flags (value 2: less
  // detail possible, value 1: more detail possible).
  static void ChooseDetailLevel(int* step, int* minStep, float size, int cells, int viewportWidth,
                                int viewportHeight, float factor, unsigned* flags, int mode);
  // 2 when the viewport area covered is below 65536 pixels; else 1 or 0
  // (reduce or not), adding bit value 2 or 1 to *flags.
  static int NeedsReduction(float size, int gridWidth, int gridHeight, int width, int height, float factor,
                            unsigned* flags);
  // Widens [start, end] to the step's grid: start down to a multiple of step,
  // end up by one step, at most maximum.
  static void AlignRangeToStep(int* start, int* end, int step, int maximum);
  // Axis-aligned box of the part of box inside the view volume of forward
  // (inverse: its inverse). Returns 1 with that box in out, or 0 when no part
  // of the box is in view.
  static int ComputeVisibleBox(const float forward[16], const float inverse[16], const float box[6], float out[6]);

  // --- progressive drawing state ---
  int GetRedrawPending() const { return m_redrawPending; }
  void SetRedrawPending(int on) { m_redrawPending = on; }
  int GetDrawn() const { return m_drawn; }

  // --- data buffer (saved settings of objects with levels of detail) ---
  unsigned char* GetDataBuffer() const { return m_data; }
  void SetDataBuffer(unsigned char* data);  // takes ownership of a malloc'ed buffer

  void CopyFrom(const Sd_Node* other);

  // Whether the node record read last stored a parent and a next link. The
  // stored values are the writer's memory addresses; only their presence
  // means anything, and they are never used as pointers.
  int GetStoredParentFlag() const { return m_storedLinks[0]; }
  int GetStoredNextFlag() const { return m_storedLinks[1]; }

  // --- class-wide state ---
  static void SetCoordinateType(short type) { s_coordinateType = type; }
  static short GetCoordinateType() { return s_coordinateType; }
  static void SetAspectMode(short mode) { s_aspectMode = mode; }
  static short GetAspectMode() { return s_aspectMode; }
  static void SetGlobalScaleTarget(float* target, float base) {
    s_frame.globalScale = target;
    s_frame.globalScaleBase = base;
  }
  static float* GetGlobalScaleTarget() { return s_frame.globalScale; }
  static float GetGlobalScaleBase() { return s_frame.globalScaleBase; }
  static void SetLighting(Sv_Lighting* lights) { s_lighting = lights; }
  static Sv_Lighting* GetLighting() { return s_lighting; }
  // The drawing state of the current frame (Sd_FrameState.h).
  static Sd_FrameState& FrameState() { return s_frame; }
  // Begins a frame: stores the detail budget and clears the detail-request
  // bits and the blended mark, which the nodes then set while the tree is
  // drawn.
  static void BeginFrame(float detailBudget) {
    s_frame.detailBudget = detailBudget;
    s_frame.detailFlags = 0;
    s_frame.blended = 0;
  }
  static void SetDetailBudget(float budget) { s_frame.detailBudget = budget; }
  static float GetDetailBudget() { return s_frame.detailBudget; }
  static void SetDetailFlags(unsigned flags) { s_frame.detailFlags = flags; }
  static unsigned GetDetailFlags() { return s_frame.detailFlags; }
  static void SetBestPass(int on) { s_frame.bestPass = on; }
  static int GetBestPass() { return s_frame.bestPass; }
  static SDN_PickOut* GetSharedPick() { return &s_sharedPick; }
  static void SetQueryPoint(double x, double y, double z);
  static void GetQueryPoint(double* x, double* y, double* z);

  // The scene-wide default colour: opaque white, red in bits 24-31.
  static unsigned DefaultColour() { return 0xFFFFFFFFu; }
  static void ApplyDefaultColour();
  // Blending by the colours' alpha on, and off again with the blend
  // function back to plain replacement. The frame is marked blended only
  // where something really is see-through: EnableBlending marks it when the
  // object's alpha is below 255 (opaque objects that leave blending on draw
  // as they would without it); objects whose alpha varies from vertex to
  // vertex pass 255 and call MarkBlended when any vertex they draw at full
  // detail is below 255, also in a coarser drawing that leaves it out: the
  // best pass that follows decides from the mark how to draw.
  static void EnableBlending(int alpha);
  static void DisableBlending();
  static void MarkBlended() { s_frame.blended = 1; }

  // --- shared stroke font ---
  static void InitHersheyFont();
  static Sv_HersheyFont* GetFont() { return s_font; }
  static void ReleaseFont();

  // --- hooks ---
  static void SetProgressHook(ProgressHook fn, void* data);
  static void SetSecondProgressHook(ProgressHook fn, void* data);
  static void SetChildRemovedHook(PlainHook fn, void* data);
  static void SetFirstChildRemovedHook(PlainHook fn, void* data);
  static void SetStateHook(StateHook fn, void* data);
  static void SetHierarchyChangedHook(PlainHook fn, void* data);
  static void SetPointListHook(PointListHook fn, void* data);
  static void SetQueryCallback(QueryCallback fn, void* data);
  static void SetCellSelectCallback(CellSelectCallback fn, void* data);
  static void SetBusyCallback(BusyCallback fn, void* data);
  static void SetColorRangeCallback(ColorRangeCallback fn, void* data);
  static void SetTreeChangeCallback(PlainHook fn, void* data);
  static void SetFrameCallback(PlainHook fn, void* data);
  static void ClearHooks();

  static void ReportProgress(int a, int b);
  static void ReportSecondProgress(int a, int b);
  static void ReportStateOn(int value);
  static void ReportStateOff(int value);
  static void ReportState(int state, int value);
  static void NotifyHierarchyChanged();
  static void* RequestPointList(int* closed);
  static void CallQueryCallback(double x, double y, double value, int user);
  static void CallCellSelect(const float point[3], const double projection[16], const double modelview[16]);
  static void CallBusy(int a, int b);
  static void CallColorRange(Sd_Node* node, float low, float high);
  static void CallTreeChange();
  static void CallFrame();

  // --- names ---
  static Sd_Node* FindByName(Sd_Node* root, const char* name);
  static char* MakeUniqueName(Sd_Node* root, const char* base, int first);

  // --- number of nodes alive (for leak checks in tests and the viewer) ---
  static long LiveCount() { return s_liveCount; }

  enum { NAME_SIZE = 50, DESCRIPTION_SIZE = 256 };

 protected:
  // --- records that follow an object's own record ---
  // ReadCommonTags reads the common tags (georeference, colour map, colour
  // table) and offers every other record to the class through this, in any
  // order, until a record that nobody takes; a later record replaces what
  // an earlier one of the same kind gave. Called with the record's header
  // read: 1 when the class took the record (read or skipped its payload;
  // ReadTag resumes at the next record either way), 0 when it is not the
  // class's, which ends the common tags there with the header pushed back.
  // The base class takes none.
  virtual int ReadOwnRecord(TDR_Manager* manager, int tag);
  // After ReadTag met a tag header it cannot read (a damaged header, a
  // negative length, a record cut by the end of the file) where the
  // object's records stand: true when the header is one of the object's
  // own records, so that the object's record is not whole; ReadCommonTags
  // then fails.
  static bool DamagedOwnRecord(const TDR_Manager* manager);
  // Reads the next tag header: true when it is tag. Otherwise sends message
  // and leaves that record for the caller (it may be the next object).
  static bool ExpectTag(TDR_Manager* manager, int tag, const char* message);
  // Depth pick of the request's pixel (its low 16 bits) in the frame of the
  // current model-view matrix, the frame the asking object draws in: true
  // with the point in that frame; false for background, a singular matrix
  // or a request without a picker.
  static bool PickInFrame(const SDN_PickIn* request, float point[3]);

  void SetType(int type) { m_type = type; }
  void SetGroup(int group) { m_isGroup = group; }
  void SetDrawn(int drawn) { m_drawn = drawn; }
  // The detail settings of objects with levels of detail, kept in the data
  // buffer by SaveSettings and taken back by RestoreSettings: a drawing step,
  // the level-of-detail flag and one more value of the object's (a texture
  // mode, say). KeptDetailSettings leaves them as they are and returns false
  // when nothing was kept; a kept step below 1 comes back as 1; a null
  // pointer skips its value.
  void KeepDetailSettings(int step, int levelOfDetail, int extra = 0);
  bool KeptDetailSettings(int* step, int* levelOfDetail, int* extra = nullptr) const;
  // Largest step, stride or count a settings record may set: more than any
  // grid side or drawn line holds, and far enough below the int range that
  // an index plus a step (or a step times a small factor) never overflows.
  static constexpr int kMaxSettingsStep = 1 << 20;
  // A step, stride or count read from a settings record, kept within
  // 1 ... kMaxSettingsStep.
  static int UsableStep(int step) { return step < 1 ? 1 : (step > kMaxSettingsStep ? kMaxSettingsStep : step); }
  // StepRender of an object that draws itself whole in one call: a pass
  // abandoned meanwhile (redraw pending) is acknowledged, clearing the flag,
  // and reports not drawn; otherwise Render draws everything. Returns the
  // drawn flag.
  int StepRenderWhole() {
    if (m_redrawPending) {
      m_redrawPending = 0;
      m_drawn = 0;
    } else {
      Render();
      m_drawn = 1;
    }
    return m_drawn;
  }
  void CallChildRemovedHooks(int firstChild);

  Sd_Node* m_next;
  Sd_Node* m_parent;
  int m_clientWords[2];
  float m_rotation[3];
  float m_scale[3];
  float m_position[3];
  int m_type;
  int m_isGroup;
  int m_auxFlag;
  int m_visible;
  int m_parentFrame;
  char m_name[NAME_SIZE];
  char m_description[DESCRIPTION_SIZE];
  TDR_GeoRef* m_geoRef;
  float m_bounds[6];
  double m_extents[3];
  double m_centres[3];
  float m_auxTriple[3];
  int m_auxRecords[6];
  Sd_Range m_ranges[4];
  int m_showBoundingBox;
  int m_redrawPending;
  int m_drawn;
  int m_boxTicks[7];
  unsigned char* m_data;
  unsigned* m_colorMap;
  int m_showProfile[2];
  double m_profile[2][2];
  float m_shading[6];
  // Matrices kept by objects that pick later, and the selected point.
  double m_modelview[16];
  double m_projection[16];
  float m_selectedPoint[3];
  int m_storedLinks[2];

 private:
  Sd_Node(const Sd_Node&) = delete;
  Sd_Node& operator=(const Sd_Node&) = delete;

  static short s_coordinateType;
  static short s_aspectMode;
  static Sd_FrameState s_frame;
  static Sv_Lighting* s_lighting;
  static SDN_PickOut s_sharedPick;
  static double s_queryPoint[3];
  static Sv_HersheyFont* s_font;
  static long s_liveCount;
};

#endif
