#ifndef QK_NAVCONTROL_H
#define QK_NAVCONTROL_H

class Qk_NavControl;

// How a control reports a press, a motion or a release to its owner: the
// control, the mouse button, the pointer position (device pixels, y from the
// bottom) and the owner pointer the control was given.
typedef void (*Qk_NavCallback)(Qk_NavControl* control, int button, int x, int y, void* owner);

// Base of the navigator's on-screen controls: holds the callbacks through
// which a control tells its owner about presses, motions and releases. The
// geometry, drawing and hit testing belong to the subclasses (Qk_NavDial).
class Qk_NavControl {
 public:
  Qk_NavControl();

  // --- virtual operations, in slot order ---
  virtual ~Qk_NavControl();
  // Draws the control in the current GL frame; nothing here.
  virtual void Draw();
  // Hit test of a point in the control's frame; 0 (nothing) here.
  virtual int Hit(double x, double y, double z);
  // The pointer moved while the control is held; nothing here.
  virtual void Motion(int button, int x, int y);
  // The button that held the control was let go; nothing here.
  virtual void Release(int button, int x, int y);

  // --- callbacks and owner ---
  void SetPressCallback(Qk_NavCallback callback) { m_pressCallback = callback; }
  void SetMotionCallback(Qk_NavCallback callback) { m_motionCallback = callback; }
  void SetReleaseCallback(Qk_NavCallback callback) { m_releaseCallback = callback; }
  void SetOwner(void* owner) { m_owner = owner; }
  Qk_NavCallback GetPressCallback() const { return m_pressCallback; }
  Qk_NavCallback GetMotionCallback() const { return m_motionCallback; }
  Qk_NavCallback GetReleaseCallback() const { return m_releaseCallback; }
  void* GetOwner() const { return m_owner; }

 protected:
  Qk_NavCallback m_pressCallback;
  Qk_NavCallback m_motionCallback;
  Qk_NavCallback m_releaseCallback;
  void* m_owner;

 private:
  Qk_NavControl(const Qk_NavControl&) = delete;
  Qk_NavControl& operator=(const Qk_NavControl&) = delete;
};

#endif
