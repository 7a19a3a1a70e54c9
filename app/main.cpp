// The viewer's program entry: the application object, the application font,
// the main window and the event loop. Everything else starts when the work
// area has its OpenGL context (orvanta::InitSL). With ORVANTA_TEST_LOG set,
// the program records its boxes and status into a test log (Qk_TestLog.h).

#include "Qk_Application.h"
#include "Qk_GLWidget.h"
#include "Qk_GUIUtils.h"
#include "Qk_TestLog.h"
#include "Sd_AllClasses.h"
#include "Sv_Platform.h"
#include "Sv_Stdlib.h"
#include "orvanta.h"

namespace {

// Messages still waiting for their box when the process ends go to the
// console rather than being lost.
void BeforeExit(int) { orvanta::FlushPendingMessagesToConsole(); }

}  // namespace

int main(int argc, char** argv) {
  Sv_PlatformSetHeapPolicy();
  // The help, the version and every command-line error only print and end
  // the program: that needs no display, so the command line is answered
  // before anything opens one. The toolkit's own options are its to take.
  {
    orvanta::CommandLine line;
    if (orvanta::ParseCommandLine(Qk_Application::ProgramArguments(argc, argv), &line) != 0) {
      Sv_UtlExitProcess(-1);
    }
  }
  // Every object class joins the object factory before any file is read.
  Sd_RegisterAllClasses();
  Qk_GLWidget::PrepareApplication();
  Qk_Application app(argc, argv);
  Qk_LoadGUIDefaults(&app);
  Sv_UtlSetExitHook(BeforeExit);

  orvanta* window = new orvanta(nullptr, nullptr, Qt::Window);
  Qk_StartTestLogFromEnvironment(window);
  // Maximized on the first start; later starts take the stored geometry.
  window->ShowAtStart();
  QObject::connect(&app, &Qk_Application::LoadFileSG, window, &orvanta::LoadFileSL);
  QObject::connect(&app, &QGuiApplication::lastWindowClosed, &app, &QCoreApplication::quit);
  return app.exec();
}
