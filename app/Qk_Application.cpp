#include "Qk_Application.h"

namespace {
Qk_Application* g_application = nullptr;
}

Qk_FileOpenEvent::Qk_FileOpenEvent(const QString& fileName)
    : QEvent(static_cast<QEvent::Type>(QK_FILE_OPEN_EVENT)), m_fileName(fileName) {}

Qk_FileOpenEvent::~Qk_FileOpenEvent() {}

Qk_Application::Qk_Application(int& argc, char** argv) : QApplication(argc, argv) { g_application = this; }

Qk_Application::~Qk_Application() {
  if (g_application == this) g_application = nullptr;
}

Qk_Application* Qk_Application::Instance() { return g_application; }

void Qk_Application::LoadFileSL(QString fileName) { emit LoadFileSG(fileName); }

void Qk_Application::customEvent(QEvent* event) {
  if (event && event->type() == static_cast<QEvent::Type>(QK_FILE_OPEN_EVENT)) {
    LoadFileSL(static_cast<Qk_FileOpenEvent*>(event)->fileName());
  }
}
