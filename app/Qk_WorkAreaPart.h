#ifndef QK_WORKAREAPART_H
#define QK_WORKAREAPART_H

class Qk_GLWorkArea;

// The base of the work area's owned parts. A part holds the state of one
// work area and keeps a pointer back to it, through whose public interface
// it reaches the GL context, the widget and the other parts; it is never
// copied.
class Qk_WorkAreaPart {
 public:
  Qk_WorkAreaPart(const Qk_WorkAreaPart&) = delete;
  Qk_WorkAreaPart& operator=(const Qk_WorkAreaPart&) = delete;

 protected:
  explicit Qk_WorkAreaPart(Qk_GLWorkArea* area) : m_area(area) {}
  ~Qk_WorkAreaPart() = default;

  Qk_GLWorkArea* m_area;
};

#endif
