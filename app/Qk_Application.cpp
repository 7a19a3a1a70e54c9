#include "Qk_Application.h"

#include <cstring>

namespace {

Qk_Application* g_application = nullptr;

// The options the toolkit's application object takes for itself, with the
// number of values that follow each and whether a value may instead be
// joined with '=' ("-style=name").
struct ToolkitOption {
  const char* name;
  int values;
  bool joined;
};
const ToolkitOption kToolkitOptions[] = {
    {"platform", 1, false},    {"platformpluginpath", 1, false}, {"platformtheme", 1, false},
    {"plugin", 1, false},      {"qwindowgeometry", 1, false},    {"geometry", 1, false},
    {"qwindowtitle", 1, false}, {"title", 1, false},             {"qwindowicon", 1, false},
    {"icon", 1, false},        {"session", 1, false},            {"display", 1, false},
    {"name", 1, false},        {"visual", 1, false},             {"style", 1, true},
    {"stylesheet", 1, true},   {"qmljsdebugger", 0, true},       {"reverse", 0, false},
    {"testability", 0, false}, {"widgetcount", 0, false},        {"sync", 0, false},
    {"nograb", 0, false},      {"dograb", 0, false},
};

// The number of words the toolkit option at word takes (itself and its
// values), or 0 when word is no toolkit option.
int ToolkitWords(const char* word) {
  if (!word || word[0] != '-') return 0;
  // The toolkit reads "--name" as "-name".
  const char* name = word + (word[1] == '-' ? 2 : 1);
  const char* equals = strchr(name, '=');
  const size_t length = equals ? static_cast<size_t>(equals - name) : strlen(name);
  for (const ToolkitOption& option : kToolkitOptions) {
    if (strlen(option.name) != length || strncmp(option.name, name, length) != 0) continue;
    if (equals) return option.joined ? 1 : 0;
    return 1 + option.values;
  }
  return 0;
}

}  // namespace

QStringList Qk_Application::ProgramArguments(int argc, char** argv) {
  QStringList args;
  for (int i = 0; i < argc && argv && argv[i]; ++i) {
    const int skip = i > 0 ? ToolkitWords(argv[i]) : 0;
    if (skip > 0) {
      i += skip - 1;
      continue;
    }
    args << QString::fromLocal8Bit(argv[i]);
  }
  return args;
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
