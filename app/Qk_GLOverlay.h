#ifndef QK_GLOVERLAY_H
#define QK_GLOVERLAY_H

#include "Qk_GLWidget.h"
#include "Sv_Matrix4.h"

class Movie;
class QWidget;
class Qk_GLWorkArea;
class Sd_Node;
class Sv_HersheyFont;
class Sv_Lighting;
class Sv_Perspective;

// Placement record, the argument of Qk_GLOverlay::SetPlacement.
struct Qk_OverlayPlacement {
  int unused;     // not read
  int selector;   // 0: the eye; any other value: the target
  int mode;       // eye: 1 fixed point, 2 a node; target: 1, 2, or 3 chase
  double x, y, z; // the fixed point of mode 1
  Sd_Node* node;  // the node of mode 2, or the chase node of target mode 3
};

// A screen overlay of the work area: owns the viewing transform and takes
// mouse, wheel, key, scroll-bar and idle input before the work area does.
// Exactly one overlay is current at a time (Qk_GLWorkArea::InstallOverlay);
// the navigator and the flight-path player derive from this class. Every
// operation has a harmless default, so an overlay overrides only what it
// uses: a plain overlay applies no camera, draws nothing and consumes no
// event.
//
// The overlay never owns the scene objects it points to. The work area owns
// them and refreshes the pointers (SetSceneContext) whenever its root or
// movie changes; when it releases a tree it first makes every overlay forget
// its node pointers (ForgetSceneNodes).
class Qk_GLOverlay {
 public:
  // Eye modes and target modes.
  enum { PLACE_NONE = 0, PLACE_POINT = 1, PLACE_NODE = 2, PLACE_CHASE = 3 };

  Qk_GLOverlay();

  // --- virtual operations, in slot order ---
  virtual ~Qk_GLOverlay();
  // Camera reset; the base returns 1 (nothing reads the result).
  virtual int Reset();
  // Continue from the given view matrix (later installs, loading a view).
  virtual void SetViewMatrix(Sv_Matrix4* viewMatrix);
  // The matrix ApplyCamera loads, independent of the matrix current before:
  // in the owning work area's context, push, load identity, ApplyCamera,
  // read the model-view matrix, pop. Without a work area whose context
  // exists, the identity.
  virtual Sv_Matrix4 GetViewMatrix();
  // Appends the current camera to the movie (recording).
  virtual void RecordFrame();
  // Receives the scene-wide stroke font (install and GL start).
  virtual void Init(Sv_HersheyFont* font);
  virtual void SetExagDisplay(float exaggeration);
  // Draws over the scene, after it, in every frame.
  virtual void Draw();
  // Multiplies the viewing transform onto the current model-view matrix.
  virtual void ApplyCamera();
  virtual double ApplyWidgetFrame();
  // Picks the overlay's own widgets; 1 = hit with the point in px, py, pz.
  virtual int PickWidget(int x, int y, double* px, double* py, double* pz);
  // Becoming current and being displaced.
  virtual void Start();
  virtual void Stop();
  // Mouse handlers: non-zero consumes the event (the work area's own
  // handling is skipped).
  virtual int MousePress(Qk_GLEventRecord* event);
  virtual int MouseDoubleClick(Qk_GLEventRecord* event);
  virtual int MouseMove(Qk_GLEventRecord* event);
  virtual int MouseRelease(Qk_GLEventRecord* event);
  virtual void Wheel(Qk_GLEventRecord* event);
  virtual void KeyPress(Qk_GLEventRecord* event);
  virtual void KeyRelease(Qk_GLEventRecord* event);
  virtual void Enter();
  virtual void Leave();
  // Runs first in every idle step of the work area.
  virtual void IdleStep();
  // Scroll-bar input: the widget, the button (or arrow direction), x, y.
  virtual void ScrollBarMouseDown(QWidget* widget, int button, int x, int y);
  virtual void ScrollBarMouseMotion(QWidget* widget, int button, int x, int y);
  virtual void ScrollBarMouseUp(QWidget* widget, int button, int x, int y);
  virtual void ScrollBarArrowPress(QWidget* widget, int button, int x, int y);
  // Computes the eye and target positions from the placement modes; runs in
  // every frame before ApplyCamera. Overrides call this first.
  virtual void UpdatePlacement();
  // The vertical exaggeration has changed.
  virtual void VertExagChanged();
  // After a camera reset, and when the view's shape changes with stereo:
  // changes the camera so that the scene's box as drawn
  // (Qk_GLWorkArea::GetSceneBox) lies inside the view. The base does
  // nothing.
  virtual void FitView();
  // When a best pass begins a view (its projection, viewport and camera
  // loaded, its depth cleared): draws what Draw draws and keeps the scene
  // that the pass's steps draw from covering it, so that every step shows
  // it whole. Draw at the end of the view's pass leaves the depth as a
  // frame does. The base does nothing.
  virtual void DrawBeforePass();

  // --- scene context ---
  void SetSceneContext(Sd_Node* root, Movie* movie, Sv_Matrix4* viewMatrix, Sv_Perspective* camera,
                       Sv_Lighting* lights);
  // Drops every pointer to a scene node (root, eye, target and chase nodes);
  // the modes stay. Called before the nodes are released.
  void ForgetSceneNodes();
  void SetWorkArea(Qk_GLWorkArea* workArea) { m_workArea = workArea; }
  Qk_GLWorkArea* GetWorkArea() const { return m_workArea; }
  Sd_Node* GetRoot() const { return m_root; }
  Movie* GetMovie() const { return m_movie; }
  Sv_Matrix4* GetViewMatrixPointer() const { return m_viewMatrix; }
  Sv_Perspective* GetCamera() const { return m_camera; }
  Sv_Lighting* GetLights() const { return m_lights; }

  // --- frame time of the idle step ---
  // seconds > 0 fixes the frame time the idle step uses (tests: motion that
  // does not depend on the machine's speed); 0 or less uses the work area's
  // measured frame time.
  void SetFixedFrameTime(double seconds) { m_fixedFrameTime = seconds; }
  double GetFixedFrameTime() const { return m_fixedFrameTime; }
  // The frame time the idle step uses now (0 without a work area).
  double FrameTime() const;

  // --- placement ---
  // Eye (selector 0): modes 1 and 2. Target: mode 2 takes the node as the
  // target node, mode 3 as the chase node. Any other mode is stored and
  // leaves the positions alone.
  void SetPlacement(const Qk_OverlayPlacement* placement);
  void SetEyeMode(int mode) { m_eyeMode = mode; }
  void SetEyePoint(double x, double y, double z);
  void SetEyeNode(Sd_Node* node) { m_eyeNode = node; }
  void SetTargetMode(int mode) { m_targetMode = mode; }
  void SetTargetPoint(double x, double y, double z);
  void SetTargetNode(Sd_Node* node) { m_targetNode = node; }
  void SetChaseNode(Sd_Node* node) { m_chaseNode = node; }
  void SetChaseBack(double distance) { m_chaseBack = distance; }
  void SetChaseUp(double distance) { m_chaseUp = distance; }
  int GetEyeMode() const { return m_eyeMode; }
  int GetTargetMode() const { return m_targetMode; }
  Sd_Node* GetEyeNode() const { return m_eyeNode; }
  Sd_Node* GetTargetNode() const { return m_targetNode; }
  Sd_Node* GetChaseNode() const { return m_chaseNode; }
  double GetChaseBack() const { return m_chaseBack; }
  double GetChaseUp() const { return m_chaseUp; }
  const double* GetEyePosition() const { return m_eyePosition; }
  const double* GetTargetPosition() const { return m_targetPosition; }

 protected:
  Qk_GLWorkArea* m_workArea;
  Sd_Node* m_root;
  Movie* m_movie;
  Sv_Matrix4* m_viewMatrix;
  Sv_Perspective* m_camera;
  Sv_Lighting* m_lights;
  int m_eyeMode;
  double m_eyePoint[3];
  Sd_Node* m_eyeNode;
  int m_targetMode;
  double m_targetPoint[3];
  Sd_Node* m_targetNode;
  Sd_Node* m_chaseNode;
  double m_chaseBack;
  double m_chaseUp;
  double m_eyePosition[3];
  double m_targetPosition[3];
  double m_fixedFrameTime;

 private:
  Qk_GLOverlay(const Qk_GLOverlay&) = delete;
  Qk_GLOverlay& operator=(const Qk_GLOverlay&) = delete;
};

#endif
