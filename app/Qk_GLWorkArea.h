#ifndef QK_GLWORKAREA_H
#define QK_GLWORKAREA_H

#include "Qk_GLStepWidget.h"
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
// pointer is reset: both overlays (root, eye, target and chase nodes) and the
// shared pick record. Code that keeps node pointers of its own (the main
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
  // Mouse, enter and leave: offered to the current overlay first.
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
  // Reads the objects of an '.sd' file under the root. clear: the old tree
  // is released first and a new, empty root is made (it keeps the vertical
  // exaggeration); otherwise the objects join the current scene. Then the
  // scene is fitted, the last object read gets the bounding-box flag and a
  // redraw is requested; addToHistory records the file in the history.
  // Returns 0 when an object was read, -1 otherwise (the reader has said
  // why); after a failed load with clear the view shows the empty root.
  int LoadSD(const char* name, int clear, int addToHistory, int showBoundingBox);
  // Writes node (its record and common tags) as an '.sd' file. -1 for a
  // null node, a file that cannot be opened or any write or close error (a
  // partly written file is removed).
  int SaveObject(Sd_Node* node, const char* name, int addToHistory);
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
  Qk_GLOverlay* GetOverlay() const { return m_overlay; }
  Qk_GLOverlay* GetDisplacedOverlay() const { return m_displacedOverlay; }
  // Forwards a placement record to the current overlay.
  void SetPlacement(const Qk_OverlayPlacement* placement);
  void SetOverlayIdle(int on) { m_overlayIdle = on; }
  int GetOverlayIdle() const { return m_overlayIdle; }

  // --- interaction mode (mouse tools) ---
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

 public slots:
  void SetObjectVertExagSL(SVfloat exaggeration);
  void ScrollBarMouseDownSL(QWidget* widget, SVint button, SVint x, SVint y);
  void ScrollBarMouseMotionSL(QWidget* widget, SVint button, SVint x, SVint y);
  void ScrollBarMouseUpSL(QWidget* widget, SVint button, SVint x, SVint y);
  void ScrollBarArrowPressSL(QWidget* widget, SVint button, SVint x, SVint y);

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
  // Records a loaded or saved file in the file history with its pattern
  // ("*.sd"); the file history joins here.
  virtual void AddToFileHistory(const char* name, const char* pattern);

  // Steps 4 to 10 of a frame for the eye whose projection is loaded: the
  // overlay's placement and camera, the lights, the movie recording step,
  // ContinuousUpdateSG, the tree, the selection outline and the overlay.
  void DrawView(float scale);
  // Pushes, scales by the global scale, sets the detail statics, renders
  // the root, pops and keeps the detail-request bits of the frame.
  void RenderTree(float scale);
  // Records a movie frame when recording and due.
  void RecordingStep();
  // Emits a pending profile request once.
  void EmitPendingProfile();

  Sd_Node* m_root;
  Sv_Lighting* m_lights;
  Sv_Perspective* m_camera;
  Sv_Matrix4* m_viewMatrix;
  int m_orthographic;
  Movie* m_movie;
  int m_recording;
  double m_lastRecordedTime;
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

 private:
  // Releases the current tree (deleting every node) after resetting every
  // holder of a node pointer; the work area has no root afterwards.
  void ReleaseTree();
  // Resets every holder of a pointer to a node of the scene.
  void ForgetSceneNodes();
  // Releases the tree and makes a new, empty root that keeps the vertical
  // exaggeration; hands it to the overlays and requests a redraw.
  void StartEmptyRoot();
  // Hands the scene context to the current and the displaced overlay.
  void ShareSceneContext();
};

#endif
