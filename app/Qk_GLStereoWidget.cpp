#include "Qk_GLStereoWidget.h"

#include <QGuiApplication>
#include <QOpenGLContext>
#include <QScreen>

#include <cstdio>
#include <cstring>
#include <string>

#include "Qk_GUIUtils.h"
#include "Sv_Debug.h"
#include "Sv_LineReader.h"
#include "Sv_Stdio.h"

namespace {

// A script line names its script as "(name)": the text after the first
// character up to the first ')', provided no '#' comes before that ')'.
void ParseScriptName(const char* line, char* out, size_t size) {
  const char* paren = strchr(line, ')');
  const char* hash = strchr(line, '#');
  if (paren && (!hash || paren < hash)) {
    size_t n = paren > line ? static_cast<size_t>(paren - line - 1) : 0;
    if (n >= size) n = size - 1;
    if (n > 0) memcpy(out, line + 1, n);
    out[n] = '\0';
    return;
  }
  char shown[256];
  snprintf(shown, sizeof(shown), "%s", line);
  shown[strcspn(shown, "\r\n")] = '\0';
  Sv_Debug::Debug("Error parsing stereo script '%s'.", shown);
  snprintf(out, size, "%s", "default");
}

}  // namespace

Qk_GLStereoWidget::Qk_GLStereoWidget(QWidget* parent, const char* name, int options)
    : Qk_GLWidget(parent, name, options),
      m_stereoMode(QK_STEREO_UNREAD),
      m_stereoOn(0),
      m_screenWidth(0),
      m_screenHeight(0),
      m_stereoValues{1024, 768, 96},
      m_currentEye(0) {
  for (auto& script : m_scripts) snprintf(script, sizeof(script), "%s", "default");
  const QList<QScreen*> screens = QGuiApplication::screens();
  if (!screens.isEmpty()) {
    const QSize s = screens.at(0)->size();
    m_screenWidth = s.width();
    m_screenHeight = s.height();
  }
  ReadStereoOptions();
}

Qk_GLStereoWidget::~Qk_GLStereoWidget() {
  if (m_stereoOn) SetStereo(0);
}

void Qk_GLStereoWidget::ReadStereoOptions() {
  int version = 0;
  Sv_LineReader f;
  if (!Sv_UtlOpenConfigLines("StereoOptions", &version, &f)) return;
  if (version == 3 && Qk_ReadValueLine(&f, &m_stereoMode)) {
    bool more = true;
    for (int i = 0; i < 3 && more; ++i) more = Qk_ReadValueLine(&f, &m_stereoValues[i]);
    for (int i = 0; i < 3 && more; ++i) {
      std::string line;
      if (!f.ReadLine(&line, 255)) break;
      ParseScriptName(line.c_str(), m_scripts[i], sizeof(m_scripts[i]));
    }
  }
}

void Qk_GLStereoWidget::InitGL() {
  if (m_stereoMode == QK_STEREO_UNREAD) m_stereoMode = GetFormatStereoMode();
  if (m_options & QK_GL_STEREO) {
    const QOpenGLContext* ctx = context();
    const bool stereoContext = ctx && ctx->format().stereo();
    if (m_stereoMode == QK_STEREO_QUAD_BUFFER && !stereoContext) {
      Sv_Debug::Message(SV_LEVEL_DEBUG, "Stereo visuals are not supported.\n");
      m_stereoMode = QK_STEREO_NOT_AVAILABLE;
    } else if (m_stereoMode == QK_STEREO_UNSUPPORTED) {
      Sv_Debug::Message(SV_LEVEL_DEBUG, "SGI Stereo visuals are not supported.\n");
      m_stereoMode = QK_STEREO_NOT_AVAILABLE;
    }
    if (m_stereoMode == QK_STEREO_NOT_AVAILABLE) m_options &= ~QK_GL_STEREO;
  } else {
    m_stereoMode = QK_STEREO_NOT_AVAILABLE;
  }
  // Stereo switched on before GL started cannot stay on without a kind.
  if (m_stereoMode == QK_STEREO_NOT_AVAILABLE && m_stereoOn) {
    m_stereoOn = 0;
    StereoOff();
  }
}

void Qk_GLStereoWidget::SetStereo(int on) {
  on = on ? 1 : 0;
  if (on == m_stereoOn) return;
  if (on && m_stereoMode == QK_STEREO_NOT_AVAILABLE) {
    Sv_Debug::Message(SV_LEVEL_ERROR, "Stereo not available.");
    return;
  }
  m_stereoOn = on;
  if (!on) StereoOff();
}

void Qk_GLStereoWidget::StereoOff() {
  m_currentEye = 0;
  m_viewportWidth = m_width;
  m_viewportHeight = m_height;
  if (!m_initialised) return;
  MakeCurrent();
  SelectDrawBuffer(GL_BACK);
  SetViewport(0, 0, m_width, m_height);
}

void Qk_GLStereoWidget::SelectLeft(int front) { SelectEye(0, front); }

void Qk_GLStereoWidget::SelectRight(int front) { SelectEye(1, front); }

void Qk_GLStereoWidget::SelectEye(int eye, int front) {
  if (m_stereoMode == QK_STEREO_QUAD_BUFFER) {
    if (eye == 0) {
      SelectDrawBuffer(front ? GL_FRONT_LEFT : GL_BACK_LEFT);
    } else {
      SelectDrawBuffer(front ? GL_FRONT_RIGHT : GL_BACK_RIGHT);
    }
  } else if (m_stereoMode == QK_STEREO_SPLIT_SCREEN) {
    const int half = m_width / 2;
    m_viewportWidth = half;
    m_currentEye = eye;
    SelectDrawBuffer(front ? GL_FRONT : GL_BACK);
    SetViewport(eye == 0 ? 0 : half, 0, half, m_height);
  }
}
