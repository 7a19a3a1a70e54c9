#ifndef QK_GLSTEREOWIDGET_H
#define QK_GLSTEREOWIDGET_H

#include "Qk_GLWidget.h"

// Stereo kinds.
enum {
  QK_STEREO_NOT_AVAILABLE = -1,
  QK_STEREO_UNREAD = 0,
  QK_STEREO_UNSUPPORTED = 1,  // a kind this viewer cannot show
  QK_STEREO_QUAD_BUFFER = 2,  // left and right buffers of a stereo visual
  QK_STEREO_SPLIT_SCREEN = 3  // left eye in the left half, right eye in the right half
};

// The stereo layer: selects the eye to draw. Split screen draws the left eye
// into the left half of the view and the right eye into the right half.
// Quad-buffered stereo needs a stereo visual, which this widget never has: a
// widget that asks for it finds stereo unavailable when GL starts.
class Qk_GLStereoWidget : public Qk_GLWidget {
  Q_OBJECT

 public:
  Qk_GLStereoWidget(QWidget* parent, const char* name, int options);
  ~Qk_GLStereoWidget() override;

  // Reads the stereo kind when it is not set yet and drops a kind the
  // context cannot show (mode -1, option 4 cleared).
  void InitGL() override;
  // --- virtual operation added ---
  // Switches stereo on or off. Switching on with no stereo available reports
  // "Stereo not available." and changes nothing.
  virtual void SetStereo(int on);

  void SetStereoMode(int mode) { m_stereoMode = mode; }
  int GetStereoMode() const { return m_stereoMode; }
  int GetStereo() const { return m_stereoOn; }
  // Draw the left or right eye from now on (front: into the front buffer).
  void SelectLeft(int front);
  void SelectRight(int front);
  // Back to one full-view picture.
  void StereoOff();
  int GetCurrentEye() const { return m_currentEye; }

  int GetScreenWidth() const { return m_screenWidth; }
  int GetScreenHeight() const { return m_screenHeight; }
  // The three values of "StereoOptions" (defaults 1024, 768, 96) and its
  // three script names; kept, not used by the viewer.
  int GetStereoValue(int i) const { return i >= 0 && i < 3 ? m_stereoValues[i] : 0; }
  const char* GetStereoScript(int i) const { return i >= 0 && i < 3 ? m_scripts[i] : ""; }

 protected:
  int m_stereoMode;
  int m_stereoOn;
  int m_screenWidth;
  int m_screenHeight;
  int m_stereoValues[3];
  char m_scripts[3][256];
  int m_currentEye;

 private:
  void ReadStereoOptions();
  // SelectLeft (eye 0) and SelectRight (eye 1).
  void SelectEye(int eye, int front);
};

#endif
