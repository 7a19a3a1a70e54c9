#ifndef QK_GLWORKAREA_H
#define QK_GLWORKAREA_H

#include "Qk_GLStepWidget.h"
#include "Qk_WorkAreaCameraPath.h"
#include "Qk_WorkAreaCapture.h"
#include "Qk_WorkAreaMouseTools.h"
#include "Qk_WorkAreaOverlays.h"
#include "Qk_WorkAreaPicking.h"
#include "Qk_WorkAreaScene.h"
#include "Qk_WorkAreaSelection.h"
#include "Sd_Node.h"
#include "Sv_Types.h"

class DepthPicker;
class Movie;
class QWidget;
class Qk_GLOverlay;
struct Qk_OverlayPlacement;
class Sv_Lighting;
class Sv_Matrix4;
class Sv_Perspective;

// The 3-D view of the main window. It draws the frames and the progressive
// passes of its scene; the rest is done by its parts, which it owns and
// whose operations it offers as its own:
//   the scene (Qk_WorkAreaScene): tree, lights, camera, view matrix, movie,
//     global scale; '.sd' and '.scene' files, bounds, exaggeration;
//   the overlays (Qk_WorkAreaOverlays): the current and the displaced one;
//   the picking (Qk_WorkAreaPicking): depth picker, pick request, pick text;
//   the selection (Qk_WorkAreaSelection): point, polygon, rectangle and
//     their XOR outline;
//   the mouse tools (Qk_WorkAreaMouseTools): interaction mode, object drag,
//     profile line;
//   the camera path (Qk_WorkAreaCameraPath): movie player and recording;
//   the capture (Qk_WorkAreaCapture): tiled images and view files.
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
// shared pick record, the selection and the mouse tools (drag, rectangle,
// profile line). Code that keeps node pointers of its own (the main
// window's View menu) drops them before it calls LoadSD with clear,
// ClearScene or SetScene with another root.
//
// Drawing. A frame (DrawScene) sets the projection, lets the current
// overlay apply the camera, applies the lights, scales by the global scale
// and renders the root; the overlay then draws and Render2DInfoSG lets the
// main window draw its 2-D layer. The progressive passes of the step widget
// call StepRender / StepRenderStereo: a coarse pass is one whole frame, the
// best pass steps through the tree (the root's StepRender) over idle steps.
// The vertical exaggeration is the root's z scale.
//
// Picking. Picks read the framebuffer object as the last frame left it,
// with that frame's projection, camera and global scale, in device pixels
// from the bottom left; the result goes into Sd_Node's shared pick record
// (GetPickRecord). The selection outline is drawn with XOR over the
// finished picture (AfterPass), so a second drawing removes it.
class Qk_GLWorkArea : public Qk_GLStepWidget {
  Q_OBJECT

 public:
  // Base value of the global scale, registered with Sd_Node.
  static constexpr float kBaseGlobalScale = 3500.0f;
  // The exaggeration of the first fitted scene (1.0 on a sphere).
  static constexpr float kDefaultExaggeration = 6.0f;

  // The main window passes its central widget, "m_workarea" and options 15.
  Qk_GLWorkArea(QWidget* parent, const char* name, int options);
  // Releases the scene tree; the parts release the rest (overlays, lights,
  // camera, movie, picker, view matrix) and unregister what they registered
  // with Sd_Node.
  ~Qk_GLWorkArea() override;

  // --- GL widget operations ---
  // Runs each time a GL context is made: creates root, lights, camera and
  // movie when missing (never twice), hands the overlay its scene context
  // and emits InitSG (queued).
  void InitGL() override;
  // Mouse, enter and leave: offered to the current overlay first; what it
  // does not consume drives the tool of the interaction mode
  // (Qk_WorkAreaMouseTools).
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
  // turns the automatic stereo scale on (or off), has the overlay fit the
  // zoom to the scene in the new eye views (FitView) and redraws. A switch that
  // the stereo layer refuses ("Stereo not available.") or that changes
  // nothing does nothing more.
  virtual void SetStereoView(int on);
  // Sends the light set to GL (every frame).
  virtual void ApplyLights();

  // --- scene ---
  // Reads the objects of an '.sd' file. clear: they are read under a new,
  // detached root (it keeps the vertical exaggeration), which replaces the
  // scene (AdoptScene, releasing the old tree) only when the file gave
  // objects; otherwise they join the current scene. Then the scene is
  // fitted, the last object read gets the bounding-box flag and a redraw is
  // requested; addToHistory records the file in the history. Returns 0 when
  // an object was read, -1 otherwise (the reader has said why): the scene,
  // its camera and exaggeration are then as they were and nothing read is
  // kept.
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
  // The overlay's camera reset, then its fit to the scene (the whole scene
  // box in view), then a redraw.
  void ResetCamera();
  // Makes root the scene root and movie the camera path, both owned by the
  // work area from now on, and hands both overlays their scene context. A
  // different previous root is released with its tree (root itself is first
  // taken out of it when it hangs inside), a different previous movie is
  // deleted.
  void SetScene(Sd_Node* root, Movie* movie);
  // A tree read off screen (a new root of the scene's NewSceneRoot, or a
  // scene file's) becomes the scene: SetScene (the old tree is released and
  // every holder of its node pointers reset), then a redraw.
  void AdoptScene(Sd_Node* root);

  // --- scene bounds ---
  // Computes the scene bounds, decides the coordinate type, fits every
  // object into the scene frame, sets the exaggeration and emits
  // GeoReferencedSG. Nothing without a root; bounds narrower than 1e-6 in x
  // or y stop it (with a warning when the scene holds data nodes).
  void ComputeSceneBounds();
  // 1 geographic, 2 projected, 4 geographic with a spherical terrain model.
  int DetectCoordinateType();
  // The eight corners of the scene's box as it is drawn: the root's unit
  // box through the root's transform (vertical exaggeration included) and
  // the global scale, in the coordinates the overlay's camera looks at;
  // corner c takes the maximum on x for bit 0, on y for bit 1, on z for
  // bit 2. 0 without a root or when the box is not finite, else 1.
  int GetSceneBox(double corners[8][3]) const { return m_scene.GetSceneBox(corners); }

  // --- vertical exaggeration ---
  // The root's z scale; 1.0 without a root.
  float GetVertExag();
  // Sets the root's z scale, tells the overlay and emits VertExagChangedSG.
  // Without a root, or for a value that is not finite and positive, nothing
  // happens.
  void SetVertExag(float exaggeration);

  // --- overlays ---
  // Makes overlay current; the work area owns it from now on. The displaced
  // overlay is kept (reinstalling it swaps the two); an older displaced one
  // is deleted. The first install since construction resets the camera,
  // later ones continue from the view matrix. Installing the current
  // overlay changes nothing; a null overlay is refused (-1). Returns 0.
  // (Qk_WorkAreaOverlays::ReplaceOverlay puts one in the current one's
  // place.)
  int InstallOverlay(Qk_GLOverlay* overlay);
  Qk_GLOverlay* GetOverlay() const { return m_overlays.GetOverlay(); }
  Qk_GLOverlay* GetDisplacedOverlay() const { return m_overlays.GetDisplacedOverlay(); }
  // Forwards a placement record to the current overlay.
  void SetPlacement(const Qk_OverlayPlacement* placement);

  // --- camera paths (the slots are below) ---
  // Plays the movie from its first frame with a new player, looping when
  // loop is set: in place of a player that is current (a running one is
  // replaced), otherwise installed over the current overlay. The movie
  // state becomes 1 (MovieStartedSG). -1, and nothing changes, for an empty
  // movie or none.
  int PlayMovie(int loop);

  // --- picking ---
  // Asks the scene tree for the object and point under the request's pixel
  // (x, y in device pixels from the bottom left), with the projection,
  // camera and global scale of the frame on screen (the left half in
  // split-screen stereo). The record's found flag and value are preset (0,
  // SD_PICK_NO_VALUE); an orthographic view that no object answers picks
  // the root's unit square (z SD_PICK_NO_SURFACE, node null). Non-zero when
  // an object answered; 0 without a root or GL context.
  int PickScene(SDN_PickIn* request, SDN_PickOut* out);
  // The root's unit square under the request's pixel, unprojected with the
  // matrices loaded (the orthographic view's answer where no object
  // answers): x, y in the root's data units, z SD_PICK_NO_SURFACE, node
  // null. 0 off the square or without a root.
  int PickOrthographic(SDN_PickIn* request, SDN_PickOut* out);
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

  // --- pick texts and selections ---
  // Emits SetPickInfoSG with the record's text (empty without a hit;
  // Qk_WorkAreaPicking::FormatPickText).
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

  // --- interaction mode (mouse tools) ---
  // Sets the mode (a non-zero one is also the last mode the outline
  // follows) and forgets the press pixel of an object drag; on a finished
  // picture the outline is redrawn for the new mode. Selections stay.
  void SetInteractionMode(int mode);
  void SetLastInteractionMode(int mode);
  int GetInteractionMode() const { return m_tools.GetInteractionMode(); }

  // --- accessors ---
  Sd_Node* GetRoot() const { return m_scene.GetRoot(); }
  Sv_Lighting* GetLights() const { return m_scene.GetLights(); }
  Sv_Perspective* GetCamera() const { return m_scene.GetCamera(); }
  Movie* GetMovie() const { return m_scene.GetMovie(); }
  Sv_Matrix4* GetViewMatrix() const { return m_scene.GetViewMatrix(); }
  DepthPicker* GetPicker() const { return m_picking.GetPicker(); }
  // The scene's shared pick record (registered with Sd_Node).
  SDN_PickOut* GetPickRecord() const;
  float GetGlobalScale() const { return m_scene.GetGlobalScale(); }
  // Stores the global scale and emits GlobalScaleChangedSG.
  void SetGlobalScale(float scale);
  void SetOrthographic(int on);

  // --- the parts: the parts reach each other through these, and the tests use them ---
  Qk_WorkAreaScene& GetScene() { return m_scene; }
  Qk_WorkAreaOverlays& GetOverlays() { return m_overlays; }
  Qk_WorkAreaPicking& GetPicking() { return m_picking; }
  Qk_WorkAreaSelection& GetSelection() { return m_selection; }
  Qk_WorkAreaMouseTools& GetMouseTools() { return m_tools; }
  Qk_WorkAreaCameraPath& GetCameraPath() { return m_cameraPath; }

  // --- frame pieces (also used by the parts) ---
  // Pushes, scales by the global scale, sets the detail statics, renders
  // the root, pops and keeps the detail-request bits of the frame.
  void RenderTree(float scale);
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
  // Right after the camera of a frame or pass is applied (the model-view
  // matrix is the camera's): moves the camera's near plane out towards the
  // nearest part of the scene's box in view (Sv_Perspective::SetNearLimit),
  // so that the depth buffer keeps nearly coincident surfaces apart, and
  // loads the projection of view (SV_VIEW_MONO or SV_VIEW_LEFT, the view the
  // frame began with) again. In stereo the limit holds for both eyes.
  void FitNearPlane(int view);

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

 public slots:
  void SetObjectVertExagSL(SVfloat exaggeration);
  void ScrollBarMouseDownSL(QWidget* widget, SVint button, SVint x, SVint y);
  void ScrollBarMouseMotionSL(QWidget* widget, SVint button, SVint x, SVint y);
  void ScrollBarMouseUpSL(QWidget* widget, SVint button, SVint x, SVint y);
  void ScrollBarArrowPressSL(QWidget* widget, SVint button, SVint x, SVint y);
  // *z := the scene's height at (x, y) and *color its packed colour (0 where
  // no object has data; *z is then SD_PICK_NO_SURFACE).
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

  // Steps 4 to 10 of a frame for the eye whose projection is loaded (view:
  // SV_VIEW_MONO or SV_VIEW_LEFT): the overlay's placement and camera, the
  // near plane fitted to the scene, the lights, the movie recording step,
  // ContinuousUpdateSG, the tree, the selection outline and the overlay.
  void DrawView(float scale, int view);
  // Steps 8 to 10 of DrawView: the tree, the selection outline and the
  // overlay; ends in model-view mode.
  void DrawSceneLayers(float scale);
  // The coarse pass: one whole frame (stereo: DrawStereoScene, else
  // DrawScene), then the best pass is next.
  void DrawCoarsePass(bool stereo);
  // The matrices of a best pass for one eye, counted so that an abandoned
  // pass pops them. PushPassScene, on the pushed camera matrix: the
  // overlay's camera (its placement updated first and the near plane
  // fitted for view when place is set), the lights, then the pushed scene
  // matrix scaled by scale.
  void PushPassMatrix();
  void PopPassMatrix();
  void PushPassScene(float scale, bool place, int view);
  // The end of a best pass drawn into the visible picture over the coarse
  // frame (only the depth was cleared): every pixel the pass left at the
  // cleared depth, where it drew nothing, gets the background colour, so
  // that no part of the coarse frame stays in the finished picture.
  void ClearPixelsThePassLeft();
  // Whether the frame being drawn shows the selection outline: not the
  // coarse frame that the best pass then refines in place (the outline is
  // drawn once on the finished picture, AfterPass).
  bool OutlineInFrame() const;

 private:
  // Releases the current tree (deleting every node) after resetting every
  // holder of a node pointer; the work area has no root afterwards.
  void ReleaseTree();
  // Resets every holder of a pointer to a node of the scene.
  void ForgetSceneNodes();

  // Declared in the order they are made; they go in the reverse order (the
  // overlays before the scene objects they point to).
  Qk_WorkAreaScene m_scene;
  Qk_WorkAreaOverlays m_overlays;
  Qk_WorkAreaPicking m_picking;
  Qk_WorkAreaSelection m_selection;
  Qk_WorkAreaMouseTools m_tools;
  Qk_WorkAreaCameraPath m_cameraPath;
  Qk_WorkAreaCapture m_capture;
};

#endif
