#ifndef QK_GLWORKAREA_H
#define QK_GLWORKAREA_H

#include "Qk_GLStepWidget.h"
#include "Sd_Node.h"
#include "Sv_Types.h"

class DepthPicker;
class Movie;
class QWidget;
class Qk_FlightpathOverlay;
class Qk_GLOverlay;
struct Qk_OverlayPlacement;
class Sd_AlignmentNode;
class Sv_Lighting;
class Sv_GLRaster;
class Sv_Matrix4;
class Sv_Perspective;

// One vertex of the selection polygon. The list is doubly linked with the
// newest vertex at its head.
struct Qk_PolygonVertex {
  double x, y, z;              // the picked point, in the data units of node
  Sd_Node* node;               // the object the point was picked on (null: the scene)
  Qk_PolygonVertex* next;      // the next older vertex
  Qk_PolygonVertex* previous;  // the next newer vertex
};

// The 3-D view of the main window. It owns the scene tree, the light set,
// the camera, the camera path (movie), the view matrix, the depth picker and
// the installed overlays (the current one and the one it displaced).
//
// Life cycle. The constructor makes a plain overlay and the view matrix; the
// root ("Root Node", an alignment group), the lights, the camera and the
// movie are made the first time GL starts (InitGL), which then emits InitSG
// through the event queue, after the widget's GL initialisation has
// returned. Loading an '.sd' file (LoadSD) reads its objects under the root,
// fits the scene (ComputeSceneBounds) and requests a redraw.
//
// Releasing nodes. Replacing or clearing the scene deletes every node of the
// old tree with all it owns, and in the same step every holder of a node
// pointer is reset: both overlays (root, eye, target and chase nodes), the
// shared pick record and the selections (selected point, polygon, rubber
// band, drag and rectangle, profile line). Code that keeps node pointers of
// its own (the main window's View menu) drops them before it calls LoadSD
// with clear, ClearScene or SetScene with another root.
//
// Drawing. A frame (DrawScene) sets the projection, lets the current
// overlay apply the camera, applies the lights, scales by the global scale
// and renders the root; the overlay then draws and Render2DInfoSG lets the
// main window draw its 2-D layer. The progressive passes of the step widget
// call StepRender / StepRenderStereo: a coarse pass is one whole frame, the
// best pass steps through the tree (the root's StepRender) over idle steps.
// The vertical exaggeration is the root's z scale.
//
// Picking and mouse tools. Picks read the framebuffer object as the last
// frame left it, with that frame's projection, camera and global scale, in
// device pixels from the bottom left; the result goes into Sd_Node's shared
// pick record (GetPickRecord). The tools of the interaction modes keep the
// selections; their outline is drawn with XOR over the finished picture
// (AfterPass), so a second drawing removes it, and it writes no depth.
//
// Camera paths. The movie slots play, pause, stop and rewind the movie with
// a flight-path player (Qk_FlightpathOverlay) that takes the current
// overlay's place while it plays; the movie state is 0 stopped, 1 playing,
// 2 paused. A new player replaces a running one, so the overlay the first
// one displaced (the navigator) is never lost. Recording appends the
// current overlay's camera (RecordFrame) to the movie at most 30 times a
// second of drawn frames.
class Qk_GLWorkArea : public Qk_GLStepWidget {
  Q_OBJECT

 public:
  // Base value of the global scale, registered with Sd_Node.
  static constexpr float kBaseGlobalScale = 3500.0f;
  // The exaggeration of the first fitted scene (1.0 on a sphere).
  static constexpr float kDefaultExaggeration = 6.0f;

  // The main window passes its central widget, "m_workarea" and options 15.
  Qk_GLWorkArea(QWidget* parent, const char* name, int options);
  // Releases the scene tree, the overlays, lights, camera, movie, picker and
  // view matrix, and unregisters what it registered with Sd_Node.
  ~Qk_GLWorkArea() override;

  // --- GL widget operations ---
  // Runs each time a GL context is made: creates root, lights, camera and
  // movie when missing (never twice), hands the overlay its scene context
  // and emits InitSG (queued).
  void InitGL() override;
  // Mouse, enter and leave: offered to the current overlay first; what it
  // does not consume drives the tool of the interaction mode (0 coordinate
  // readout, 1 point selection and object drag, 2 polygon selection, 4
  // extraction rectangle; a right-button drag defines a profile line in
  // every mode but 4).
  void MousePress(Qk_GLEventRecord* event) override;
  void MouseDoubleClick(Qk_GLEventRecord* event) override;
  void MouseMove(Qk_GLEventRecord* event) override;
  void MouseRelease(Qk_GLEventRecord* event) override;
  // Wheel and keys go to the current overlay only.
  void Wheel(Qk_GLEventRecord* event) override;
  void KeyPress(Qk_GLEventRecord* event) override;
  void KeyRelease(Qk_GLEventRecord* event) override;
  void Enter() override;
  void Leave() override;
  // Full viewport, camera viewport and picker size.
  void ResizeGL(int w, int h) override;
  // One complete mono frame.
  void DrawScene() override;
  // Stereo switch: SetStereoView.
  void SetStereo(int on) override;

  // --- progressive renderer operations ---
  // One complete stereo frame: DrawStereoScene.
  void DrawStereo() override;
  // One step of a progressive pass (mono: step counter 0 to 2; stereo: 0
  // to 5); returns the idle-suspended flag.
  bool StepRender() override;
  bool StepRenderStereo() override;
  // The base operation; when the last exploring period ends, the overlay's
  // view matrix becomes the work area's view matrix.
  void EndExploring() override;
  // The overlay's idle step, then the renderer's (nothing at all while the
  // overlay idle flag is 0).
  void OnIdle() override;
  // Also forgets when the last movie frame was recorded.
  void ResetFrameTimer() override;
  // Draws the selection outline with XOR over the finished picture (both
  // eyes in stereo); a second call restores the picture exactly.
  void AfterPass() override;
  // Draws the outline of the current selection (point marker, polygon or
  // rectangle, judged by the last non-zero interaction mode) over the
  // scene, with XOR when xorMode is set, and emits RenderProfileLineSG for
  // whoever draws the profile line. Uses the projection that is loaded.
  void DrawOutline(int xorMode) override;

  // --- operations of its own ---
  // One complete split-screen (or quad-buffered) stereo frame.
  virtual void DrawStereoScene();
  // Switches stereo on or off, then fits the camera to the full viewport,
  // turns the automatic stereo scale on (or off) and redraws. A switch that
  // the stereo layer refuses ("Stereo not available.") or that changes
  // nothing does nothing more.
  virtual void SetStereoView(int on);
  // Sends the light set to GL (every frame).
  virtual void ApplyLights();

  // --- scene ---
  // Reads the objects of an '.sd' file. clear: they are read under a new,
  // detached root (NewSceneRoot, it keeps the vertical exaggeration), which
  // replaces the scene (AdoptScene, releasing the old tree) only when the
  // file gave objects; otherwise they join the current scene. Then the
  // scene is fitted, the last object read gets the bounding-box flag and a
  // redraw is requested; addToHistory records the file in the history.
  // Returns 0 when an object was read, -1 otherwise (the reader has said
  // why): the scene, its camera and exaggeration are then as they were and
  // nothing read is kept.
  int LoadSD(const char* name, int clear, int addToHistory, int showBoundingBox);
  // Writes node (its record and common tags) as an '.sd' file. -1 for a
  // null node, a file that cannot be opened or any write or close error (the
  // old file, if any, is then left as it was).
  int SaveObject(Sd_Node* node, const char* name, int addToHistory);
  // Reads a scene file ('.scene': settings, camera clip planes and base
  // scale, view matrix, the whole tree) into a detached tree; only when all
  // of it was good does it replace the scene (AdoptScene) and are the
  // settings applied. The exaggeration is then the scene's own (the next
  // bounds computation keeps it) and the selection is cleared. 0, or -1
  // after the reader's message with scene, camera and view as they were.
  // addToHistory records the file in the history.
  int LoadScene(const char* name, int addToHistory);
  // Writes the scene (settings, camera, view matrix, tree) as a scene file.
  // -1 without a root or camera, for a file that cannot be opened, or any
  // write or close error (the old file is then as it was).
  int SaveScene(const char* name, int addToHistory);
  // Releases the whole tree and starts a new, empty root (nothing without a
  // root).
  void ClearScene();
  // The overlay's camera reset, then a redraw.
  void ResetCamera();
  // Makes root the scene root and movie the camera path, both owned by the
  // work area from now on, and hands both overlays their scene context. A
  // different previous root is released with its tree (root itself is first
  // taken out of it when it hangs inside), a different previous movie is
  // deleted.
  void SetScene(Sd_Node* root, Movie* movie);
  // The way a scene read off screen replaces the one shown (loads with
  // clear, scene files): NewSceneRoot makes an empty root, not yet the
  // scene, that carries the exaggeration in force; a file is read under it;
  // AdoptScene then makes it the scene (SetScene: the old tree is released
  // and every holder of its node pointers reset) and requests a redraw, or
  // DiscardDetachedTree deletes it with what was read when the load failed.
  Sd_AlignmentNode* NewSceneRoot();
  void AdoptScene(Sd_Node* root);
  void DiscardDetachedTree(Sd_Node* root);

  // --- scene bounds ---
  // Computes the scene bounds, decides the coordinate type, fits every
  // object into the scene frame, sets the exaggeration and emits
  // GeoReferencedSG. Nothing without a root; bounds narrower than 1e-6 in x
  // or y stop it (with a warning when the scene holds data nodes).
  void ComputeSceneBounds();
  // 1 geographic, 2 projected, 4 geographic with a spherical terrain model.
  int DetectCoordinateType();

  // --- vertical exaggeration ---
  // The root's z scale; 1.0 without a root.
  float GetVertExag();
  // Sets the root's z scale, tells the overlay and emits VertExagChangedSG.
  // Without a root, or for a value that is not finite and positive, nothing
  // happens.
  void SetVertExag(float exaggeration);
  int GetExaggerationChosen() const { return m_exaggerationChosen; }
  void SetExaggerationChosen(int chosen) { m_exaggerationChosen = chosen; }

  // --- overlays ---
  // Makes overlay current; the work area owns it from now on. The displaced
  // overlay is kept (reinstalling it swaps the two); an older displaced one
  // is deleted. The first install since construction resets the camera,
  // later ones continue from the view matrix. Installing the current
  // overlay changes nothing; a null overlay is refused (-1). Returns 0.
  int InstallOverlay(Qk_GLOverlay* overlay);
  // Makes overlay current in place of the current overlay, which is stopped
  // and deleted; the displaced overlay stays displaced. Otherwise as
  // InstallOverlay (installing the current or the displaced overlay is
  // InstallOverlay).
  int ReplaceOverlay(Qk_GLOverlay* overlay);
  Qk_GLOverlay* GetOverlay() const { return m_overlay; }
  Qk_GLOverlay* GetDisplacedOverlay() const { return m_displacedOverlay; }
  // Forwards a placement record to the current overlay.
  void SetPlacement(const Qk_OverlayPlacement* placement);
  void SetOverlayIdle(int on) { m_overlayIdle = on; }
  int GetOverlayIdle() const { return m_overlayIdle; }

  // --- camera paths (the slots are below) ---
  // Plays the movie from its first frame with a new player, looping when
  // loop is set: in place of a player that is current (a running one is
  // replaced), otherwise installed over the current overlay. The movie
  // state becomes 1 (MovieStartedSG). -1, and nothing changes, for an empty
  // movie or none.
  int PlayMovie(int loop);
  // 0 stopped, 1 playing, 2 paused.
  int GetMovieState() const { return m_movieState; }
  int GetRecording() const { return m_recording; }
  // The player of a playing or paused movie; null when stopped.
  Qk_FlightpathOverlay* GetPlayer();
  // seconds > 0: the recording clock advances by that much with every
  // drawn frame instead of following the renderer's clock (tests: which
  // frames are recorded does not depend on the machine's speed); 0 or less:
  // the renderer's clock.
  void SetFixedRecordingStep(double seconds) { m_fixedRecordingStep = seconds; }

  // --- picking ---
  // Asks the scene tree for the object and point under the request's pixel
  // (x, y in device pixels from the bottom left), with the projection,
  // camera and global scale of the frame on screen (the left half in
  // split-screen stereo). The record's found flag and value are preset (0,
  // -1e20); an orthographic view that no object answers picks the root's
  // unit square (z 1e12, node null). Non-zero when an object answered; 0
  // without a root or GL context.
  int PickScene(SDN_PickIn* request, SDN_PickOut* out);
  // PickScene for a pixel of the viewport with the given query kind and
  // action code (stored in the pick request); a pixel outside the viewport
  // clears the found flag and asks nobody (0).
  int Pick(int x, int y, int kind, int action, SDN_PickOut* out);
  // Pick that, when it misses while a pass is still refining the picture,
  // draws one whole frame and asks once more. 1 only for an answer with the
  // found flag set.
  int PickRefreshed(int x, int y, int kind, int action, SDN_PickOut* out);
  // The point of the depth buffer near pixel (x, y) (a 9 x 9 search), in
  // the frame of the overlay's camera (before the global scale). 1 when
  // something was drawn there, 0 otherwise; while a pass is refining the
  // picture a miss draws one whole frame and looks again.
  virtual int PickDepth(short x, short y, double* wx, double* wy, double* wz);
  // The current overlay's own widget under the pixel (its PickWidget).
  virtual int PickOverlayWidget(int x, int y, double* px, double* py, double* pz);
  // A point in node's data units to node's unit box: per axis (v - min) /
  // (max - min) - 0.5, and 0 for an axis of no extent (or no node).
  static void NormalizePoint(const double in[3], Sd_Node* node, double out[3]);
  // Tells the overlay that the exaggeration changed (with a root only).
  void NotifyExaggeration();
  SDN_PickIn* GetPickRequest() { return &m_pickRequest; }

  // --- pick texts and selections ---
  // The status text of a pick record for a coordinate type ("Geo Coords
  // (x,y,z) -> (...)", the two-dimensional form when z is 1e12, ", Scalar =
  // ..." unless the value is -1e20); empty when the record's found flag is
  // 0. Returns the length written (cut to size - 1).
  static int FormatPickText(const SDN_PickOut* pick, int coordinateType, char* text, size_t size);
  // Emits SetPickInfoSG with the record's text (empty without a hit).
  void ShowPickText(SDN_PickOut* pick);
  // Prepends a vertex unless the newest one holds exactly the same point.
  void AddPolygonVertex(const double point[3], Sd_Node* node);
  // Deletes every vertex.
  void FreePolygon();
  // FreePolygon and no selected point (a scene file was loaded).
  void ResetSelection();
  // Hands out the polygon (owned by the work area) and its closed flag and
  // ends polygon building and dragging. 0 for an empty polygon, 1 in
  // interaction mode 2, else -1.
  int GetPolygon(Qk_PolygonVertex** head, int* closed);
  // Copies x, y of both profile ends (two doubles each) when a profile is
  // defined; returns the profile-active flag.
  int GetProfileLine(double* point1, double* point2);
  // The right-button profile tool: 0 profile defined (or second end
  // missed), 1 drag too short, 2 the drag began on the background.
  int Profile(Qk_GLEventRecord* event);
  // The selected point and the number of selected points (0 or 1).
  const double* GetSelectedPoints(int* count) const;
  int GetPointSelected() const { return m_pointSelected; }
  Sd_Node* GetSelectedNode() const { return m_selectedNode; }
  Qk_PolygonVertex* GetPolygonHead() const { return m_polygon; }
  int GetPolygonSize() const;
  int GetPolygonActive() const { return m_polygonActive; }
  int GetPolygonClosed() const { return m_polygonClosed; }
  int GetFinishRequest() const { return m_finishRequest; }
  const double* GetMovingPoint() const { return m_movingPoint; }
  Sd_Node* GetMovingNode() const { return m_movingNode; }
  int GetDragStarted() const { return m_dragStarted; }
  Sd_Node* GetDragNode() const { return m_dragNode; }
  int GetProfileActive() const { return m_profileActive; }
  int GetRectangleActive() const { return m_rectangleActive; }
  // x0, x1, y0, y1 of the extraction rectangle.
  void GetRectangle(double out[4]) const;

  // --- interaction mode (mouse tools) ---
  // Sets the mode (a non-zero one is also the last mode the outline
  // follows) and forgets the press pixel of an object drag; on a finished
  // picture the outline is redrawn for the new mode. Selections stay.
  void SetInteractionMode(int mode);
  void SetLastInteractionMode(int mode) { m_lastInteractionMode = mode; }
  int GetInteractionMode() const { return m_interactionMode; }
  int GetLastInteractionMode() const { return m_lastInteractionMode; }

  // --- accessors ---
  Sd_Node* GetRoot() const { return m_root; }
  Sv_Lighting* GetLights() const { return m_lights; }
  Sv_Perspective* GetCamera() const { return m_camera; }
  Movie* GetMovie() const { return m_movie; }
  Sv_Matrix4* GetViewMatrix() const { return m_viewMatrix; }
  DepthPicker* GetPicker() const { return m_picker; }
  // The scene's shared pick record (registered with Sd_Node).
  SDN_PickOut* GetPickRecord() const;
  float GetGlobalScale() const { return m_globalScale; }
  // Stores the global scale and emits GlobalScaleChangedSG.
  void SetGlobalScale(float scale);
  void SetOrthographic(int on);
  int GetOrthographic() const { return m_orthographic; }

  // --- image capture and view files ---
  // Draws the scene as n x n tiles of the window's size (device pixels),
  // with every object at full detail and the 2-D layer (Render2DInfoSG)
  // after the top-right tile only, into one image of n times the window's
  // width and height, and writes it with Sv_ImageIO::WriteImage (fileType
  // 1 TIFF, 2 GeoTIFF, 3 JPEG, 4 PNG). A running pass is abandoned first;
  // detail settings, draw buffer and viewport are restored and a redraw is
  // requested on every path. 0, or -1 after a message: n below 1, a picture
  // beyond the raster's limits (nothing is then allocated or drawn), or a
  // failed write.
  virtual int CaptureImage(const char* fileName, int fileType, int n);
  // The same tile loop without an image: Render2DInfoSG after every tile.
  // 0, or -1 after a message for a refused n.
  int RenderTiles(int n);
  // View file: the line "2.0", the camera's view record and the view
  // matrix. Save returns 1, or 0 after "Could not write to view file '%s'."
  // (the old file is then as it was). Load applies camera and matrix only
  // when both were read whole and valid and then redraws; else 0 after
  // "Could not read view file '%s'." with camera and view unchanged.
  int SaveViewFile(const char* path);
  int LoadViewFile(const char* path);
  // The view matrix := matrix, handed on to the current overlay.
  void SetViewMatrix(const Sv_Matrix4* matrix);

 protected:
  // 0 when n x n tiles of the window fit an image; else -1 after a message
  // naming who asked.
  int CheckTileGrid(int n, const char* who);
  // The tile loop of CaptureImage and RenderTiles; each tile is read into
  // raster (when given) at its place.
  void DrawTiles(int n, Sv_GLRaster* raster, bool infoAfterEveryTile);

 public slots:
  void SetObjectVertExagSL(SVfloat exaggeration);
  void ScrollBarMouseDownSL(QWidget* widget, SVint button, SVint x, SVint y);
  void ScrollBarMouseMotionSL(QWidget* widget, SVint button, SVint x, SVint y);
  void ScrollBarMouseUpSL(QWidget* widget, SVint button, SVint x, SVint y);
  void ScrollBarArrowPressSL(QWidget* widget, SVint button, SVint x, SVint y);
  // *z := the scene's height at (x, y) and *color its packed colour (0 where
  // no object has data; *z is then 1e12).
  void GeoPickPointSL(SVdouble x, SVdouble y, SVdouble* z, SVuint* color);
  // Draws the outline once more (XOR: erases or shows it).
  void RedrawSelectionSL();
  // out := in converted into the root's unit box (NormalizePoint).
  void TransformPointSL(SVdouble* in, SVdouble* out);
  // Selects the point pt (x, y, z) as if it had been picked: shows its
  // text, emits PickPointSG and redraws.
  void SelectPointSL(SVdouble* pt);
  void ClearPolygonSelectionSL();
  // Movie slots. Play: only for a movie with frames; stopped: a new player
  // (PlayMovie, no loop); paused: resume; playing: nothing. Pause: while
  // playing. Stop: while playing or paused, the player stops
  // (MovieStoppedSG twice: from MovieStopped and from this slot). Rewind:
  // while playing or paused, the first frame. Clear: every frame deleted (a
  // player then stops at its next step).
  void PlayMovieSL();
  void PauseMovieSL();
  void StopMovieSL();
  void RewindMovieSL();
  void ClearMovieSL();
  // Emits MovieFrameChangedSG(n) (the player's frame reports).
  void MovieFrameNumChanged(SVint n);
  // The player has stopped: state 0, MovieStoppedSG.
  void MovieStopped();
  // Starts recording unless it is on. A playing or paused movie stops
  // (state 0, no signal): the overlay the player displaced comes back with
  // the view on screen and the frames after the current one are deleted,
  // so recording goes on from there. Otherwise new frames follow the last
  // one (MovieFrameChangedSG with its index).
  void StartRecordingMovieSL();
  void StopRecordingMovieSL();

 signals:
  void InitSG();
  void ContinuousUpdateSG();
  void VertExagChangedSG();
  void GlobalScaleChangedSG();
  void GeoReferencedSG();
  void ProfileSG(SVdouble* first, SVdouble* second);
  void RenderProfileLineSG();
  void ProfileFailedSG();
  void ExtractAreaSG();
  void ExtractAreaCentreSG(SVdouble x, SVdouble y);
  void MovieFrameChangedSG(SVint frame);
  void MovieStartedSG();
  void MovieStoppedSG();
  void MoviePausedSG();
  void PickPointSG(SDN_PickOut* pick);

 protected:
  // Records a loaded or saved file in the file history (FileHistory) with
  // its pattern ("*.sd", "*.scene").
  virtual void AddToFileHistory(const char* name, const char* pattern);

  // Steps 4 to 10 of a frame for the eye whose projection is loaded: the
  // overlay's placement and camera, the lights, the movie recording step,
  // ContinuousUpdateSG, the tree, the selection outline and the overlay.
  void DrawView(float scale);
  // Steps 8 to 10 of DrawView: the tree, the selection outline and the
  // overlay; ends in model-view mode.
  void DrawSceneLayers(float scale);
  // The coarse pass: one whole frame (stereo: DrawStereoScene, else
  // DrawScene), then the best pass is next.
  void DrawCoarsePass(bool stereo);
  // The matrices of a best pass for one eye, counted so that an abandoned
  // pass pops them. PushPassScene, on the pushed camera matrix: the
  // overlay's camera (its placement updated first when place is set), the
  // lights, then the pushed scene matrix scaled by scale.
  void PushPassMatrix();
  void PopPassMatrix();
  void PushPassScene(float scale, bool place);
  // Pushes, scales by the global scale, sets the detail statics, renders
  // the root, pops and keeps the detail-request bits of the frame.
  void RenderTree(float scale);
  // Records a movie frame when recording and due.
  void RecordingStep();
  // Emits a pending profile request once.
  void EmitPendingProfile();
  // Whether the frame being drawn shows the selection outline: not the
  // coarse frame that the best pass then refines in place (the outline is
  // drawn once on the finished picture, AfterPass).
  bool OutlineInFrame() const;
  // Loads the projection of the view the frames use (the left eye in
  // stereo, else mono) without the camera's side effects; ends in
  // model-view mode.
  void LoadFrameProjection();
  // Loads the projection of one view (SV_VIEW_MONO, _LEFT or _RIGHT) without
  // the camera's side effects; ends in model-view mode.
  void LoadViewProjection(int view);
  // Pushes the model-view matrix and loads the frame's: the overlay's
  // camera scaled by scale.
  void PushFrameView(float scale);
  // One whole frame for a pick that missed while a pass was refining the
  // picture (the caller has begun exploring), with the model-view matrix
  // kept as it was.
  void DrawFrameForPick();
  // Unit square of the root under the request's pixel (orthographic view).
  int PickOrthographic(SDN_PickIn* request, SDN_PickOut* out);
  // One 9 x 9 depth search with the frame's projection and camera; 0 found.
  int DepthSearch(int x, int y, double* wx, double* wy, double* wz);
  // Stores pixel, query kind and action code in the pick request; false
  // (nobody is to be asked) without a record, or for a pixel outside the
  // viewport, whose found flag is then cleared.
  bool StorePickRequest(int x, int y, int kind, int action, SDN_PickOut* out);
  // "Erase" and "redraw" of the mouse tools: AfterPass, only on a finished
  // picture (the idle timer suspended).
  void ToggleOutline();
  // The rubber band of the polygon tool goes back to the newest vertex.
  void CollapseRubberBand();
  // Draws the point marker, the polygon and the rectangle.
  void DrawPointMarker();
  void DrawPolygonOutline();
  void DrawRectangleOutline();

  Sd_Node* m_root;
  Sv_Lighting* m_lights;
  Sv_Perspective* m_camera;
  Sv_Matrix4* m_viewMatrix;
  int m_orthographic;
  Movie* m_movie;
  int m_recording;
  double m_lastRecordedTime;
  int m_movieState;
  double m_fixedRecordingStep;
  double m_recordingClock;
  Qk_GLOverlay* m_overlay;
  Qk_GLOverlay* m_displacedOverlay;
  int m_overlayIdle;
  int m_firstInstall;
  int m_interactionMode;
  int m_lastInteractionMode;
  DepthPicker* m_picker;
  float m_globalScale;
  int m_profileRequest;
  double m_profilePoint1[2];
  double m_profilePoint2[2];
  int m_exaggerationChosen;

  // Picking and selections (all node pointers are reset when a tree is
  // released).
  SDN_PickIn m_pickRequest;
  int m_dragStarted;
  int m_pointSelected;
  double m_selectedPoint[3];
  Sd_Node* m_selectedNode;
  int m_polygonActive;
  double m_movingPoint[3];
  Sd_Node* m_movingNode;
  Qk_PolygonVertex* m_polygon;
  int m_finishRequest;
  int m_polygonClosed;
  Sd_Node* m_dragNode;  // mode 1: the dragged object; mode 4: the rectangle's object
  int m_dragPixelX;
  int m_dragPixelY;
  int m_profileActive;
  double m_rectX0, m_rectX1, m_rectY0, m_rectY1;
  int m_rectangleActive;
  char m_pickText[256];

 private:
  // Releases the current tree (deleting every node) after resetting every
  // holder of a node pointer; the work area has no root afterwards.
  void ReleaseTree();
  // Resets every holder of a pointer to a node of the scene.
  void ForgetSceneNodes();
  // Ends every selection, drag and profile (the scene they belong to goes).
  void ForgetSelections();
  // Releases the tree and makes a new, empty root that keeps the vertical
  // exaggeration (AdoptScene of a NewSceneRoot).
  void StartEmptyRoot();
  // Hands the scene context to the current and the displaced overlay.
  void ShareSceneContext();
  // The last steps of an install: overlay (already current) gets the work
  // area, the scene context, Start, the font and the camera (Reset on the
  // first install, else the view matrix); then a redraw.
  void ActivateOverlay(Qk_GLOverlay* overlay);
};

#endif
