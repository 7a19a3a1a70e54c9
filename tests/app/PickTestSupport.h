#ifndef ORVANTA_PICKTESTSUPPORT_H
#define ORVANTA_PICKTESTSUPPORT_H

// A scene object of known geometry that answers picks, and helpers that
// drive the work area with Qt mouse events, for the picking, selection and
// mouse-tool tests.

#include <GL/gl.h>

#include <QCoreApplication>
#include <QMouseEvent>
#include <QPointingDevice>

#include <cstdio>
#include <string>
#include <utility>
#include <vector>

#include "DepthPicker.h"
#include "Sv_Matrix4.h"
#include "WorkAreaTestSupport.h"

namespace pick_test {

// A tile (a flat rectangle at the middle of its z range, filling its x and
// y bounds) that answers picks like a terrain model: it reads the depth
// buffer through the request's picker and reports the data point under the
// pixel. Queries of kind 1 hit but fill nothing in, as the real objects do.
class PickTile : public workarea_test::TileObject {
 public:
  explicit PickTile(int tag = TDR_TAG_SD_POINT3D) : TileObject(tag) {}

  int QueryPoint(SDN_PickIn* request, SDN_PickOut* out) override {
    ++queries;
    requests.emplace_back(request->mode, request->subMode);
    if (!answer || !request->picker) return 0;
    glPushMatrix();
    ApplyTransform();
    Sv_Matrix4 modelView;
    modelView.LoadFromGL();
    float g[3] = {0.0f, 0.0f, 0.0f};
    const bool picked = request->picker->SetModelMatrix(modelView) == 0 &&
                        request->picker->Pick(request->x, request->y, &g[0], &g[1], &g[2]) == 0;
    glPopMatrix();
    const float edge = 0.5f + 1e-4f;
    if (!picked || g[0] < -edge || g[0] > edge || g[1] < -edge || g[1] > edge) return 0;
    if (request->mode == 0) {
      out->x = (g[0] + 0.5) * (static_cast<double>(m_bounds[1]) - m_bounds[0]) + m_bounds[0];
      out->y = (g[1] + 0.5) * (static_cast<double>(m_bounds[3]) - m_bounds[2]) + m_bounds[2];
      out->z = (g[2] + 0.5) * (static_cast<double>(m_bounds[5]) - m_bounds[4]) + m_bounds[4];
      out->node = this;
      out->colour = colour;
      out->found = 1;
    }
    return 1;
  }

  double GeoPickPoint(double x, double y, unsigned* c) override {
    if (x < m_bounds[0] || x > m_bounds[1] || y < m_bounds[2] || y > m_bounds[3]) return 1e12;
    if (c) *c = colour;
    return 0.5 * (static_cast<double>(m_bounds[4]) + m_bounds[5]);
  }

  bool answer = true;  // false: the object answers no pick
  unsigned colour = 0x00FF8040u;
  int queries = 0;
  std::vector<std::pair<int, int>> requests;  // (query kind, action code) of every query
};

template <int Tag>
Sd_Node* MakePickTile() {
  return new PickTile(Tag);
}

// Registers PickTile for the tile records while it lives.
class PickTileClasses {
 public:
  PickTileClasses() { Sd_IOSupport::SetTestClass(TDR_TAG_SD_POINT3D, MakePickTile<TDR_TAG_SD_POINT3D>); }
  ~PickTileClasses() { Sd_IOSupport::ClearTestClasses(); }
  PickTileClasses(const PickTileClasses&) = delete;
  PickTileClasses& operator=(const PickTileClasses&) = delete;
};

// A work area that keeps what it reports: status texts, picked points,
// profiles and extraction requests.
class PickArea : public workarea_test::RecordingArea {
 public:
  PickArea() {
    QObject::connect(this, &Qk_GLStepWidget::SetPickInfoSG, [this](char* text) { texts.emplace_back(text); });
    QObject::connect(this, &Qk_GLWorkArea::PickPointSG, [this](SDN_PickOut* p) { picked.push_back(*p); });
    QObject::connect(this, &Qk_GLWorkArea::ProfileSG, [this](SVdouble* a, SVdouble* b) {
      profiles.push_back({a[0], a[1], b[0], b[1]});
    });
    QObject::connect(this, &Qk_GLWorkArea::ProfileFailedSG, [this]() { ++profileFailures; });
    QObject::connect(this, &Qk_GLWorkArea::ExtractAreaSG, [this]() { ++extractions; });
    QObject::connect(this, &Qk_GLWorkArea::ExtractAreaCentreSG, [this](SVdouble x, SVdouble y) {
      centres.push_back({x, y});
    });
    QObject::connect(this, &Qk_GLWorkArea::RenderProfileLineSG, [this]() { ++profileLineRenders; });
  }

  std::string LastText() const { return texts.empty() ? std::string("<none>") : texts.back(); }

  std::vector<std::string> texts;
  std::vector<SDN_PickOut> picked;
  std::vector<std::vector<double>> profiles;
  std::vector<std::vector<double>> centres;
  int profileFailures = 0, extractions = 0, profileLineRenders = 0;
};

// Sends a Qt mouse event to the widget at event-record position (x, y):
// device pixels from the bottom left (the tests run at ratio 1).
inline void SendMouse(QWidget* w, QEvent::Type type, int x, int y, Qt::MouseButton button,
                      Qt::MouseButtons buttons) {
  const QPointF local(x, w->height() - 1 - y);
  QMouseEvent event(type, local, w->mapToGlobal(local), button, buttons, Qt::NoModifier,
                    QPointingDevice::primaryPointingDevice());
  QCoreApplication::sendEvent(w, &event);
}

inline void Press(QWidget* w, int x, int y, Qt::MouseButton b = Qt::LeftButton) {
  SendMouse(w, QEvent::MouseButtonPress, x, y, b, b);
}
inline void Move(QWidget* w, int x, int y, Qt::MouseButtons held = Qt::NoButton) {
  SendMouse(w, QEvent::MouseMove, x, y, Qt::NoButton, held);
}
inline void Release(QWidget* w, int x, int y, Qt::MouseButton b = Qt::LeftButton) {
  SendMouse(w, QEvent::MouseButtonRelease, x, y, b, Qt::NoButton);
}
inline void DoubleClick(QWidget* w, int x, int y, Qt::MouseButton b = Qt::LeftButton) {
  SendMouse(w, QEvent::MouseButtonDblClick, x, y, b, b);
}
inline void Click(QWidget* w, int x, int y, Qt::MouseButton b = Qt::LeftButton) {
  Press(w, x, y, b);
  Release(w, x, y, b);
}

// The three numbers of a "Geo Coords (x,y,z) -> (x, y, z)" text; false when
// the text has another form.
inline bool ParseCoords(const std::string& text, double* x, double* y, double* z) {
  return sscanf(text.c_str(), "Geo Coords (x,y,z) -> (%lf, %lf, %lf)", x, y, z) == 3;
}

}  // namespace pick_test

#endif
