#include "orvanta.h"

#include <QAction>
#include <QApplication>
#include <QCloseEvent>
#include <QCoreApplication>
#include <QFile>
#include <QFileDialog>
#include <QImage>
#include <QKeySequence>
#include <QLineEdit>
#include <QMenu>
#include <QMenuBar>
#include <QMessageBox>
#include <QOpenGLContext>
#include <QPixmap>
#include <QStatusBar>
#include <QVBoxLayout>

#include <GL/gl.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <deque>
#include <string>
#include <vector>

#include "Movie.h"
#include "NavigateScene.h"
#include "Qk_CommandApprover.h"
#include "Qk_GLWorkArea.h"
#include "Qk_GUIUtils.h"
#include "Qk_NavigatorOverlay.h"
#include "Sd_Node.h"
#include "Sv_CmdProcessor.h"
#include "Sv_Debug.h"
#include "Sv_HersheyFont.h"
#include "Sv_Stdio.h"
#include "Sv_Stdlib.h"

// Outside any namespace, as Qt's resource macros require.
static void InitOrvantaResources() { Q_INIT_RESOURCE(orvanta); }

namespace {

const char* const kAppName = "Orvanta";
const char* const kAboutTitle = "Orvanta - The Brannovick Viewer";
const char* const kAboutYears = "1998-2004";

const char* const kWRUHomePage = "https://www.wru.example.org/";
const char* const kBrannovickHomePage = "https://brannovick.example.org/";
const char* const kOrvantaHomePage = "https://orvanta.example.org/";

const char* const kUsage[] = {
    "Usage is:  orvanta \n",
    "             < -data  <fileName.sd>\n",
    "             < -scene <sceneName.scene> >\n",
    "             < -flightpath <path.fph> >\n",
    "             [ -h ]\n",
    "\n",
    "This program is used to view Brannovick files in '.sd' or '.scene' format.\n",
    "The -data command is used to specify an '.sd' file to load.\n",
    "The -scene command is used to load a '.scene' file.\n",
    "The -flightpath command will load and play a flightpath file.\n",
    "The -h command displays help for this program.\n",
    "\n",
};
const char* const kBuildDate = "Sep 29 2004";
const char* const kBuildTime = "00:49:46";

// Longest file name shown in the caption.
const int kTitleNameLength = 40;

orvanta* g_mainWindow = nullptr;

// --- queued message boxes ---

struct PendingMessage {
  int level;
  std::string text;
};
std::deque<PendingMessage> g_pending;
bool g_pumpScheduled = false;
bool g_pumping = false;

// The messages of the load in progress: one box shows them all when the
// load is over.
struct LoadMessages {
  int depth = 0;          // loads in progress (a load inside a load is part of it)
  std::string fileName;   // the file the outermost load reads
  std::vector<PendingMessage> messages;
};
LoadMessages g_load;

void PumpMessages() {
  g_pumpScheduled = false;
  if (g_pumping) return;  // the running pump shows the newcomers after its box
  g_pumping = true;
  while (!g_pending.empty()) {
    PendingMessage m = std::move(g_pending.front());
    g_pending.pop_front();
    Qk_ShowMessage(m.level, m.text.c_str(), kAppName, nullptr);
  }
  g_pumping = false;
}

void SchedulePump() {
  QCoreApplication* app = QCoreApplication::instance();
  if (!app || g_pumpScheduled || g_pumping) return;
  g_pumpScheduled = true;
  QMetaObject::invokeMethod(app, &PumpMessages, Qt::QueuedConnection);
}

// The more serious of two message levels (an error before a warning before
// information).
int MoreSerious(int a, int b) {
  const auto rank = [](int level) {
    switch (level) {
      case SV_LEVEL_ERROR: return 3;
      case SV_LEVEL_WARNING: return 2;
      case SV_LEVEL_INFO: return 1;
      default: return 0;
    }
  };
  return rank(b) > rank(a) ? b : a;
}

// One message of the gathered ones: each text once, in the order they
// came, at the most serious level among them. A text that does not name
// the file leaves the user guessing which file it is about: the box then
// opens with the file's name.
PendingMessage JoinLoadMessages(const std::string& fileName, const std::vector<PendingMessage>& messages) {
  PendingMessage joined{messages.front().level, std::string()};
  bool named = true;
  std::vector<std::string> texts;
  for (const PendingMessage& m : messages) {
    joined.level = MoreSerious(joined.level, m.level);
    std::string text = m.text;
    while (!text.empty() && (text.back() == '\n' || text.back() == ' ')) text.pop_back();
    if (text.empty() || std::find(texts.begin(), texts.end(), text) != texts.end()) continue;
    if (!fileName.empty() && text.find(fileName) == std::string::npos) named = false;
    texts.push_back(text);
  }
  if (!named) joined.text = "While loading \"" + fileName + "\":\n\n";
  for (size_t i = 0; i < texts.size(); ++i) joined.text += (i ? "\n\n" : "") + texts[i];
  return joined;
}

QAction* MakeAction(QObject* parent, const char* name) {
  QAction* action = new QAction(parent);
  action->setObjectName(name);
  return action;
}

// Text, menu text and accelerator of an action. Qt shows the menu text in
// menus; the plain text stays as the action's icon text.
void Label(QAction* action, const QString& text, const QString& menuText, const char* accelerator) {
  action->setIconText(text);
  action->setText(menuText.isEmpty() ? text : menuText);
  if (accelerator) action->setShortcut(QKeySequence(QString::fromLatin1(accelerator)));
}

}  // namespace

// ---------------------------------------------------------------------------
// Construction

orvanta::orvanta(QWidget* parent, const char* name, Qt::WindowFlags flags)
    : QMainWindow(parent, flags),
      orvantaLayout(nullptr),
      m_workarea(nullptr),
      ExagEdit(nullptr),
      GeorefEdit(nullptr),
      menubar(nullptr),
      stereoAtStartup(0),
      m_started(false),
      m_hasArguments(false),
      m_logoLoaded(0),
      m_logoTexture(-1),
      m_logoHeight(0),
      m_logoWidth(0) {
  InitOrvantaResources();
  (void)statusBar();
  const QPixmap icon(":/orvanta/icon.png");

  setObjectName(name ? name : "orvanta");
  setMinimumSize(202, 112);
  setWindowIcon(icon);
  setMouseTracking(true);

  QWidget* central = new QWidget(this);
  central->setObjectName("qt_central_widget");
  setCentralWidget(central);
  orvantaLayout = new QVBoxLayout(central);
  orvantaLayout->setObjectName("orvantaLayout");
  orvantaLayout->setContentsMargins(0, 0, 0, 0);
  orvantaLayout->setSpacing(0);

  m_workarea = new Qk_GLWorkArea(central, "m_workarea", 15);
  orvantaLayout->addWidget(m_workarea);

  ExagEdit = new QLineEdit(central);
  ExagEdit->setObjectName("ExagEdit");
  ExagEdit->setFrame(true);
  ExagEdit->setSizePolicy(QSizePolicy::Fixed, QSizePolicy::Fixed);
  ExagEdit->setMinimumSize(200, 0);
  orvantaLayout->addWidget(ExagEdit);

  GeorefEdit = new QLineEdit(central);
  GeorefEdit->setObjectName("GeorefEdit");
  GeorefEdit->setFrame(true);
  orvantaLayout->addWidget(GeorefEdit);

  FileOpenAction = MakeAction(this, "FileOpenAction");
  FileOpenAction->setIcon(QIcon());
  FileExitAction = MakeAction(this, "FileExitAction");
  FileLoadSceneAction = MakeAction(this, "FileLoadSceneAction");
  FileLoadSceneAction->setIcon(QIcon());
  HelpWRUHomePageAction = MakeAction(this, "HelpWRUHomePageAction");
  HelpBrannovickHomePageAction = MakeAction(this, "HelpBrannovickHomePageAction");
  HelpOrvantaHomePageAction = MakeAction(this, "HelpOrvantaHomePageAction");
  CameraResetCameraAction = MakeAction(this, "CameraResetCameraAction");
  HelpContentsAction = MakeAction(this, "HelpContentsAction");
  HelpNavigateSceneAction = MakeAction(this, "HelpNavigateSceneAction");
  HelpAboutAction = MakeAction(this, "HelpAboutAction");
  FilePlayFlightpathAction = MakeAction(this, "FilePlayFlightpathAction");
  CameraStereoAction = MakeAction(this, "CameraStereoAction");
  CameraStereoAction->setCheckable(true);
  ToogleData1Action = MakeAction(this, "ToogleData1Action");
  FilePreferencesAction = MakeAction(this, "FilePreferencesAction");
  ToogleData2Action = MakeAction(this, "ToogleData2Action");
  ToogleData3Action = MakeAction(this, "ToogleData3Action");
  ToogleData4Action = MakeAction(this, "ToogleData4Action");
  ToogleData5Actionn = MakeAction(this, "ToogleData5Actionn");
  ToogleData6Action = MakeAction(this, "ToogleData6Action");
  ToogleData7Action = MakeAction(this, "ToogleData7Action");
  ToogleData8Action = MakeAction(this, "ToogleData8Action");
  ToogleData9Action = MakeAction(this, "ToogleData9Action");
  ToogleData10Action = MakeAction(this, "ToogleData10Action");

  // The dataset actions sit in no menu; their keys work because the window
  // holds them.
  QAction* const toggles[10] = {ToogleData1Action, ToogleData2Action, ToogleData3Action, ToogleData4Action,
                                ToogleData5Actionn, ToogleData6Action, ToogleData7Action, ToogleData8Action,
                                ToogleData9Action, ToogleData10Action};
  for (QAction* a : toggles) addAction(a);

  menubar = menuBar();
  menubar->setObjectName("menubar");
  FileMenu = new QMenu(this);
  FileMenu->addAction(FileOpenAction);
  FileMenu->addAction(FileLoadSceneAction);
  FileMenu->addSeparator();
  FileMenu->addAction(FilePlayFlightpathAction);
  FileMenu->addSeparator();
  FileMenu->addAction(FilePreferencesAction);
  FileMenu->addSeparator();
  FileMenu->addAction(FileExitAction);
  menubar->addMenu(FileMenu);

  CameraMenu = new QMenu(this);
  CameraMenu->addAction(CameraResetCameraAction);
  CameraMenu->addSeparator();
  CameraMenu->addAction(CameraStereoAction);
  menubar->addMenu(CameraMenu);

  ViewMenu = new QMenu(this);
  menubar->addMenu(ViewMenu);

  HelpMenu = new QMenu(this);
  HelpMenu->addAction(HelpNavigateSceneAction);
  HelpMenu->addSeparator();
  HelpMenu->addAction(HelpWRUHomePageAction);
  HelpMenu->addAction(HelpBrannovickHomePageAction);
  HelpMenu->addAction(HelpOrvantaHomePageAction);
  HelpMenu->addSeparator();
  HelpMenu->addAction(HelpAboutAction);
  menubar->addMenu(HelpMenu);

  languageChange();
  resize(QSize(kBaseWidth, kBaseHeight).expandedTo(minimumSizeHint()));

  connect(FileOpenAction, &QAction::triggered, this, &orvanta::FileOpenSL);
  connect(FileLoadSceneAction, &QAction::triggered, this, &orvanta::FileLoadSceneSL);
  connect(HelpAboutAction, &QAction::triggered, this, &orvanta::HelpAboutSL);
  connect(HelpWRUHomePageAction, &QAction::triggered, this, &orvanta::HelpWRUHomePageSL);
  connect(HelpBrannovickHomePageAction, &QAction::triggered, this, &orvanta::HelpBrannovickHomePageSL);
  connect(HelpNavigateSceneAction, &QAction::triggered, this, &orvanta::HelpNavigateSceneSL);
  connect(HelpOrvantaHomePageAction, &QAction::triggered, this, &orvanta::HelpOrvantaHomePageSL);
  connect(FileExitAction, &QAction::triggered, this, &orvanta::FileExitSL);
  // triggered, not toggled: switching the action on from the options file
  // must not run the slot.
  connect(CameraStereoAction, &QAction::triggered, this, &orvanta::CameraStereoSL);
  connect(FilePlayFlightpathAction, &QAction::triggered, this, &orvanta::FilePlayFlightpathSL);
  connect(CameraResetCameraAction, &QAction::triggered, this, &orvanta::CameraResetCameraSL);
  connect(FilePreferencesAction, &QAction::triggered, this, &orvanta::FilePreferencesSL);
  connect(ToogleData1Action, &QAction::triggered, this, &orvanta::ToggleData1ActionSL);
  connect(ToogleData2Action, &QAction::triggered, this, &orvanta::ToggleData2ActionSL);
  connect(ToogleData3Action, &QAction::triggered, this, &orvanta::ToggleData3ActionSL);
  connect(ToogleData4Action, &QAction::triggered, this, &orvanta::ToggleData4ActionSL);
  connect(ToogleData5Actionn, &QAction::triggered, this, &orvanta::ToggleData5ActionSL);
  connect(ToogleData6Action, &QAction::triggered, this, &orvanta::ToggleData6ActionSL);
  connect(ToogleData7Action, &QAction::triggered, this, &orvanta::ToggleData7ActionSL);
  connect(ToogleData8Action, &QAction::triggered, this, &orvanta::ToggleData8ActionSL);
  connect(ToogleData9Action, &QAction::triggered, this, &orvanta::ToggleData9ActionSL);
  connect(ToogleData10Action, &QAction::triggered, this, &orvanta::ToggleData10ActionSL);

  init();
}

orvanta::~orvanta() {
  delete m_navigateScene;
  m_navigateScene = nullptr;
  // The work area outlives this part of the window (Qt deletes children
  // later) and may still draw while it is hidden: its signals must no longer
  // reach the window.
  if (m_workarea) disconnect(m_workarea, nullptr, this, nullptr);
  if (g_mainWindow == this) {
    g_mainWindow = nullptr;
    if (Sv_Debug::GetCallback() == &orvanta::MessageHandler) Sv_Debug::SetCallback(nullptr);
  }
  if (Sd_ActPoint3D::GetCommandApprover() == m_commandApprover) Sd_ActPoint3D::SetCommandApprover(nullptr);
  delete m_commandApprover;
  m_commandApprover = nullptr;
}

orvanta* orvanta::Instance() { return g_mainWindow; }

void orvanta::SetArguments(const QStringList& arguments) {
  m_arguments = arguments;
  m_hasArguments = true;
}

void orvanta::languageChange() {
  setWindowTitle(tr(" Orvanta"));
  setWindowIconText(QString());
  Label(FileOpenAction, tr("Open SD File..."), tr("&Open SD File..."), "Ctrl+O");
  Label(FileExitAction, tr("Exit"), tr("E&xit"), "Ctrl+X");
  Label(FileLoadSceneAction, tr("Open Scene File..."), tr("Open &Scene File..."), "Ctrl+Shift+O");
  Label(HelpWRUHomePageAction, tr("WRU Home Page"), tr("&WRU Home Page"), nullptr);
  Label(HelpBrannovickHomePageAction, tr("Brannovick Home Page"), tr("&Brannovick Home Page"), nullptr);
  Label(HelpOrvantaHomePageAction, tr("Orvanta Home Page"), tr("&Orvanta Home Page"), nullptr);
  Label(CameraResetCameraAction, tr("Reset Camera"), tr("Reset &Camera"), "Esc");
  Label(HelpContentsAction, tr("Contents"), tr("&Contents..."), "");
  Label(HelpNavigateSceneAction, tr("Navigating the Scene"), tr("&Navigating the Scene..."), "F1");
  Label(HelpAboutAction, tr("About"), tr("&About..."), "");
  Label(FilePlayFlightpathAction, tr("Play Flightpath"), tr("&Play Flightpath..."), "Ctrl+P");
  Label(CameraStereoAction, tr("Split Screen Stereo"), tr("&Split Screen Stereo"), "Ctrl+T");
  Label(ToogleData1Action, tr("Toggle on/off dataset 1"), QString(), "1");
  Label(FilePreferencesAction, tr("Preferences..."), QString(), nullptr);
  Label(ToogleData2Action, tr("Action"), QString(), "2");
  Label(ToogleData3Action, tr("Action"), QString(), "3");
  Label(ToogleData4Action, tr("Action"), QString(), "4");
  Label(ToogleData5Actionn, tr("Action"), QString(), "5");
  Label(ToogleData6Action, tr("Action"), QString(), "6");
  Label(ToogleData7Action, tr("Action"), QString(), "7");
  Label(ToogleData8Action, tr("Action"), QString(), "8");
  Label(ToogleData9Action, tr("Action"), QString(), "9");
  Label(ToogleData10Action, tr("Action"), QString(), "0");
  FileMenu->setTitle(tr("&File"));
  CameraMenu->setTitle(tr("&Camera"));
  ViewMenu->setTitle(tr("&View"));
  HelpMenu->setTitle(tr("&Help"));
}

void orvanta::init() {
  Qk_SetMainWidget(this);
  g_mainWindow = this;
  Sv_Debug::SetCallback(&orvanta::MessageHandler);
  Sv_HersheySetBuiltIn(1);
  // Commands stored in data files run only when the user agrees.
  if (!m_commandApprover) m_commandApprover = new Qk_CommandApprover(this);
  Sd_ActPoint3D::SetCommandApprover(m_commandApprover);
  m_commandApprover->SetAnsweredHook([this] {
    if (m_waitingFiles.isEmpty()) return;
    QMetaObject::invokeMethod(
        this,
        [this] {
          const QStringList files = m_waitingFiles;
          m_waitingFiles.clear();
          for (const QString& f : files) LoadFileSL(f);
        },
        Qt::QueuedConnection);
  });
  stereoAtStartup = 0;

  QAction* none = ViewMenu->addAction(tr("(none)"));
  none->setData(9999);
  none->setEnabled(false);

  // The status fields leave the central layout for the status bar: the
  // location takes the spare width, the exaggeration keeps its own.
  statusBar()->addWidget(GeorefEdit, 1);
  statusBar()->addWidget(ExagEdit, 0);
  Qk_SetReadOnly(GeorefEdit)->setText("Geographic Location (x,y,z) -> ");
  Qk_SetReadOnly(ExagEdit)->setText("Vertical Exaggeration:  1.0000");

  // The navigator owns the camera from the start; the work area owns it.
  m_workarea->InstallOverlay(new Qk_NavigatorOverlay());
  m_workarea->SetRightButtonAsMiddle(1);
  m_workarea->SetStereoMode(QK_STEREO_SPLIT_SCREEN);

  lastDirectory.clear();
  m_logoLoaded = 0;
  m_logoWidth = 0;
  m_logoHeight = 0;
  m_logoTexture = -1;
  // The help window has no parent (a window of its own); it lives as long
  // as this one.
  if (!m_navigateScene) m_navigateScene = new NavigateScene(nullptr, nullptr, false);

  // InitSG comes from inside the work area's GL initialisation; start-up
  // (file loading, message boxes) runs after that has returned.
  connect(m_workarea, &Qk_GLWorkArea::InitSG, this, &orvanta::InitSL, Qt::QueuedConnection);
  connect(m_workarea, &Qk_GLWorkArea::SetPickInfoSG, this, &orvanta::SetPickInfoSL);
  connect(m_workarea, &Qk_GLWorkArea::VertExagChangedSG, this, &orvanta::VertExagChangedSL);
  connect(m_workarea, &Qk_GLWorkArea::Render2DInfoSG, this, &orvanta::RenderLogoSL);
  connect(ViewMenu, &QMenu::triggered, this, [this](QAction* action) {
    // The item's check mark has already been flipped by Qt.
    if (action) ActivateViewItem(action->data().toInt(), action->isCheckable() && !action->isChecked());
  });
}

// ---------------------------------------------------------------------------
// Start-up

static_assert(sizeof(orvanta::CommandLine::dataFile) == Sv_CmdProcessor::STRING_SIZE,
              "the command line's file names take what the option processor copies");

int orvanta::ParseCommandLine(const QStringList& args, CommandLine* out) {
  if (!out) return -1;
  *out = CommandLine();
  int direct = 0;
  Sv_CmdProcessor cmd;
  cmd.AddCommand("-direct", Sv_CmdProcessor::TYPE_INT, &direct, 0, 0);
  cmd.AddCommand("-data", Sv_CmdProcessor::TYPE_STRING, out->dataFile, 1, 0);
  cmd.AddCommand("-scene", Sv_CmdProcessor::TYPE_STRING, out->sceneFile, 1, 0);
  cmd.AddCommand("-flightpath", Sv_CmdProcessor::TYPE_STRING, out->flightPath, 1, 0);
  // The processor puts a newline between the lines it joins; the usage
  // lines bring their own, so it is taken off each line but the last,
  // which no newline follows: the help prints the lines exactly.
  const int usageCount = static_cast<int>(sizeof(kUsage) / sizeof(kUsage[0]));
  std::vector<std::string> usage;
  std::vector<const char*> usageLines;
  for (int i = 0; i < usageCount; ++i) {
    std::string line = kUsage[i];
    if (i + 1 < usageCount && !line.empty() && line.back() == '\n') line.pop_back();
    usage.push_back(line);
  }
  for (const std::string& line : usage) usageLines.push_back(line.c_str());
  cmd.SetHelp(usageLines.data(), usageCount, "-h");
  cmd.SetVersion("-ver", kBuildDate, kBuildTime);

  // "--help" asks for the same as "-h".
  std::vector<QByteArray> words;
  for (const QString& a : args) words.push_back(a == QLatin1String("--help") ? QByteArray("-h") : QFile::encodeName(a));
  std::vector<char*> argv;
  for (QByteArray& w : words) argv.push_back(w.data());
  argv.push_back(nullptr);

  // The processor's usage, version and errors go to the console: the
  // process ends right after them, before a message box could be seen.
  const Sv_Debug::Callback handler = Sv_Debug::GetCallback();
  Sv_Debug::SetCallback(nullptr);
  const int parsed = cmd.Parse(static_cast<int>(words.size()), argv.data());
  Sv_Debug::SetCallback(handler);
  return parsed == 0 ? 0 : -1;
}

void orvanta::InitSL() {
  if (m_started) return;  // the work area announces every new GL context
  m_started = true;

  CommandLine line;
  if (ParseCommandLine(m_hasArguments ? m_arguments : QCoreApplication::arguments(), &line) != 0) {
    Sv_UtlExitProcess(-1);
  }
  if (line.sceneFile[0]) {
    LoadSceneFile(line.sceneFile);
    UpdateViewMenu();
  } else if (line.dataFile[0]) {
    LoadDataFile(line.dataFile);
    UpdateViewMenu();
  }
  if (line.flightPath[0]) PlayFlightpath(line.flightPath);

  LoadConfigurationFile();
  if (stereoAtStartup) {
    CameraStereoAction->setChecked(true);
    m_workarea->SetStereoView(1);
  }
}

// ---------------------------------------------------------------------------
// Files

void orvanta::RememberDirectory(const char* fileName) {
  if (char* dir = Sv_UtlGetDirectory(fileName, 1)) {
    lastDirectory = dir;
    free(dir);
  }
}

int orvanta::LoadDataFile(const char* fileName) {
  if (!fileName) return -1;
  LoadMessageScope messages(fileName);
  Qk_BusyCursorOn();
  const int result = m_workarea->LoadSD(fileName, 1, 0, 0);
  if (result == -1) {
    // The scene on screen stays, and so does the caption that names it.
    SetTitle(m_shownFile.empty() ? nullptr : m_shownFile.c_str());
  } else {
    m_shownFile = fileName;
    // The camera starts afresh on the new scene only: a file that could
    // not be loaded leaves the view as it was. LoadSD has decided the
    // coordinate type and fitted the scene; the root's box is shown except
    // around a globe.
    CameraResetCameraSL();
    SetTitle(fileName);
    if (Sd_Node* root = m_workarea->GetRoot()) root->SetShowBoundingBox(Sd_Node::GetCoordinateType() != 4);
  }
  RememberDirectory(fileName);
  Qk_BusyCursorOff();
  return result == -1 ? -1 : 0;
}

int orvanta::LoadSceneFile(const char* fileName) {
  if (!fileName) return -1;
  LoadMessageScope messages(fileName);
  Qk_BusyCursorOn();
  // The scene brings its own camera (view matrix, clip planes); a file that
  // could not be loaded leaves scene, view and caption as they were.
  const int result = m_workarea->LoadScene(fileName, 0);
  if (result != -1) m_shownFile = fileName;
  SetTitle(m_shownFile.empty() ? nullptr : m_shownFile.c_str());
  RememberDirectory(fileName);
  Qk_BusyCursorOff();
  return result == -1 ? -1 : 0;
}

int orvanta::PlayFlightpath(const char* fileName) {
  if (!fileName) return -1;
  Movie* movie = m_workarea->GetMovie();
  int result = -1;
  {
    // The reader's own reason and the loader's sentence make one box.
    LoadMessageScope messages(fileName);
    Qk_BusyCursorOn();
    result = movie ? movie->Read(fileName) : -1;
    Qk_BusyCursorOff();
    if (result < 0) Sv_Debug::Error("An error occured loading the flightpath '%s'.", fileName);
  }
  // A path that was read is played in a loop by the flight-path player
  // overlay, which replaces the navigator (or a running player) until a
  // click or key press.
  if (result >= 0) m_workarea->PlayMovie(1);
  RememberDirectory(fileName);
  return result < 0 ? -1 : 0;
}

QByteArray orvanta::AskFileToOpen(const QString& caption, const QString& filter) {
  // What QFileDialog::getOpenFileName shows (an existing local file, links
  // resolved), made here so that the dialog carries its object name.
  QFileDialog dialog(this, caption, QString::fromStdString(lastDirectory), filter);
  dialog.setObjectName("open file dialog");
  dialog.setFileMode(QFileDialog::ExistingFile);
  dialog.setSupportedSchemes(QStringList(QStringLiteral("file")));
  if (dialog.exec() != QDialog::Accepted) return QByteArray();
  const QString name = dialog.selectedUrls().value(0).toLocalFile();
  if (name.isEmpty()) return QByteArray();
  QByteArray path = QFile::encodeName(name);
  Sv_UtlToBackslashes(path.data());
  return path;
}

void orvanta::FileOpenSL() {
  const QByteArray path = AskFileToOpen(tr("Open an SD File"), tr("Data Files (*.sd);;All Files (*)"));
  if (path.isEmpty()) return;
  LoadDataFile(path.constData());
  UpdateViewMenu();
}

void orvanta::FileLoadSceneSL() {
  const QByteArray path = AskFileToOpen(tr("Open a Scene File"), tr("Scene Files (*.scene);;All Files (*)"));
  if (path.isEmpty()) return;
  LoadSceneFile(path.constData());
  UpdateViewMenu();
}

void orvanta::FilePlayFlightpathSL() {
  const QByteArray path = AskFileToOpen(tr("Play a Flightpath"), tr("Flightpaths (*.fph *.mov);;All Files (*)"));
  if (path.isEmpty()) return;
  PlayFlightpath(path.constData());
}

void orvanta::LoadFileSL(QString qfilename) {
  // Opening it now would change the scene under the question's click.
  if (m_commandApprover && m_commandApprover->IsAsking()) {
    m_waitingFiles.append(qfilename);
    return;
  }
  const QByteArray path = QFile::encodeName(qfilename);
  const char* ext = Sv_UtlGetExtension(path.constData());
  if (!ext) return;
  // Case matters: ".SD" is not a data file here. A scene file replaces the
  // scene; a data file joins it. Both are recorded in the history.
  if (strcmp(ext, ".scene") == 0) {
    LoadMessageScope messages(path.constData());
    m_workarea->LoadScene(path.constData(), 1);
  } else if (strcmp(ext, ".sd") == 0) {
    LoadMessageScope messages(path.constData());
    m_workarea->LoadSD(path.constData(), 0, 1, 0);
  }
}

void orvanta::FileExitSL() {
  QMessageBox box(QMessageBox::Warning, tr("Exit Orvanta?"), tr("Do you really want to exit?"),
                  QMessageBox::Yes | QMessageBox::No, this);
  if (Qk_RunMessageBox(&box) == QMessageBox::Yes) Sv_UtlExitProcess(0);
}

void orvanta::closeEvent(QCloseEvent* event) {
  event->ignore();
  SaveConfigurationFile();
  Sv_UtlExitProcess(0);
}

// ---------------------------------------------------------------------------
// Camera and help

void orvanta::CameraResetCameraSL() {
  m_workarea->ResetCamera();
  m_workarea->UpdateGL();
}

void orvanta::CameraStereoSL() { m_workarea->SetStereoView(CameraStereoAction->isChecked() ? 1 : 0); }

void orvanta::HelpAboutSL() { Qk_ShowAbout(kAppName, kAboutTitle, nullptr, kAboutYears); }
void orvanta::HelpWRUHomePageSL() { Qk_ShowURL(kWRUHomePage); }
void orvanta::HelpBrannovickHomePageSL() { Qk_ShowURL(kBrannovickHomePage); }
void orvanta::HelpOrvantaHomePageSL() { Qk_ShowURL(kOrvantaHomePage); }
// The "Navigating the Scene" guide opens here.
void orvanta::HelpNavigateSceneSL() {
  if (m_navigateScene) m_navigateScene->exec();
}

// ---------------------------------------------------------------------------
// Caption and status fields

void orvanta::SetTitle(const char* fileName) {
  if (!fileName) {
    setWindowTitle(kAppName);
    return;
  }
  std::vector<char> name(fileName, fileName + strlen(fileName) + 1);
  Sv_UtlTruncateFront(name.data(), kTitleNameLength);
  setWindowTitle(QString("%1 -- %2").arg(kAppName, QString::fromLocal8Bit(name.data())));
}

void orvanta::VertExagChangedSL() {
  char text[64];
  snprintf(text, sizeof(text), "Vertical Exaggeration: %.5f", static_cast<double>(m_workarea->GetVertExag()));
  ExagEdit->setText(text);
}

void orvanta::SetPickInfoSL(char* msg) {
  if (msg) GeorefEdit->setText(QString::fromLocal8Bit(msg));
}

// ---------------------------------------------------------------------------
// Logo in the top right corner of the view

void orvanta::LoadLogoTexture() {
  m_logoLoaded = 1;
  m_logoTexture = -1;
  QOpenGLContext* context = QOpenGLContext::currentContext();
  m_logoContext = context ? context->shareGroup() : nullptr;

  // The built-in logo: 8-bit RGB pixels, rows from the bottom up.
  const QImage image = QImage(":/orvanta/logo.png").convertToFormat(QImage::Format_RGB888).mirrored();
  m_logoWidth = image.width();
  m_logoHeight = image.height();
  const int bytesPerPixel = image.depth() / 8;
  GLenum format = 0;
  if (bytesPerPixel == 3) {
    format = GL_RGB;
  } else if (bytesPerPixel == 4) {
    format = GL_RGBA;
  }
  if (image.isNull() || format == 0) {
    Sv_Debug::Error("An error occured loading the logo image.");
    return;
  }
  GLuint name = 0;
  glGenTextures(1, &name);
  glBindTexture(GL_TEXTURE_2D, name);
  if (!glIsTexture(name)) {
    Sv_Debug::Error("An error occured loading the logo image.");
    return;
  }
  glTexEnvf(GL_TEXTURE_ENV, GL_TEXTURE_ENV_MODE, GL_REPLACE);
  glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_WRAP_S, GL_CLAMP);
  glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_WRAP_T, GL_CLAMP);
  glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MIN_FILTER, GL_NEAREST);
  glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MAG_FILTER, GL_NEAREST);
  // Rows of the image are packed to four bytes; so is GL's default unpacking.
  glPixelStorei(GL_UNPACK_ALIGNMENT, 4);
  glTexImage2D(GL_TEXTURE_2D, 0, bytesPerPixel, m_logoWidth, m_logoHeight, 0, format, GL_UNSIGNED_BYTE,
               image.constBits());
  glBindTexture(GL_TEXTURE_2D, 0);
  m_logoTexture = static_cast<int>(name);
}

void orvanta::RenderLogoSL() {
  // A texture belongs to its context's group; a new context needs it again.
  QOpenGLContext* context = QOpenGLContext::currentContext();
  if (!context) return;
  if (m_logoLoaded && m_logoContext != context->shareGroup()) m_logoLoaded = 0;
  if (!m_logoLoaded) LoadLogoTexture();
  if (m_logoTexture == -1) return;

  const double w = m_logoWidth;
  const double h = m_logoHeight;
  const double W = m_workarea->GetViewportWidth();
  const double H = m_workarea->GetViewportHeight();

  glMatrixMode(GL_PROJECTION);
  glPushMatrix();
  glLoadIdentity();
  glOrtho(0.0, W, 0.0, H, 0.0, 1.0);
  glMatrixMode(GL_MODELVIEW);
  glPushMatrix();
  glLoadIdentity();
  glBindTexture(GL_TEXTURE_2D, static_cast<GLuint>(m_logoTexture));
  glEnable(GL_TEXTURE_2D);
  glDisable(GL_DEPTH_TEST);

  glBegin(GL_POLYGON);
  glTexCoord2f(0.0f, 0.0f);
  glVertex2d(W - w - 10.0, H - h - 10.0);
  glTexCoord2f(1.0f, 0.0f);
  glVertex2d(W - 10.0, H - h - 10.0);
  glTexCoord2f(1.0f, 1.0f);
  glVertex2d(W - 10.0, H - 10.0);
  glTexCoord2f(0.0f, 1.0f);
  glVertex2d(W - w - 10.0, H - 10.0);
  glEnd();

  glDisable(GL_TEXTURE_2D);
  glEnable(GL_DEPTH_TEST);
  glBindTexture(GL_TEXTURE_2D, 0);
  glMatrixMode(GL_PROJECTION);
  glPopMatrix();
  glMatrixMode(GL_MODELVIEW);
  glPopMatrix();
}

// ---------------------------------------------------------------------------
// Messages

void orvanta::MessageHandler(int level, const char* text) {
  if (g_load.depth > 0) {
    g_load.messages.push_back(PendingMessage{level, text ? text : ""});
    return;
  }
  g_pending.push_back(PendingMessage{level, text ? text : ""});
  if (QCoreApplication::instance()) {
    SchedulePump();
  } else {
    FlushPendingMessagesToConsole();
  }
}

void orvanta::ShowPendingMessages() { PumpMessages(); }

int orvanta::PendingMessageCount() { return static_cast<int>(g_pending.size()); }

void orvanta::FlushPendingMessagesToConsole() {
  // A load cut short by the end of the process: its messages so far.
  if (!g_load.messages.empty()) {
    g_pending.push_back(JoinLoadMessages(g_load.fileName, g_load.messages));
    g_load.messages.clear();
  }
  while (!g_pending.empty()) {
    const PendingMessage& m = g_pending.front();
    const bool newline = !m.text.empty() && m.text.back() == '\n';
    fprintf(stderr, "%s: %s%s", Sv_Debug::LevelName(m.level), m.text.c_str(), newline ? "" : "\n");
    g_pending.pop_front();
  }
  fflush(stderr);
}

void orvanta::BeginLoadMessages(const char* fileName) {
  if (g_load.depth++ > 0) return;
  g_load.fileName = fileName ? fileName : "";
  g_load.messages.clear();
}

void orvanta::EndLoadMessages() {
  if (g_load.depth == 0 || --g_load.depth > 0) return;
  std::vector<PendingMessage> messages;
  messages.swap(g_load.messages);
  if (messages.empty()) return;
  g_pending.push_back(JoinLoadMessages(g_load.fileName, messages));
  if (QCoreApplication::instance()) {
    SchedulePump();
  } else {
    FlushPendingMessagesToConsole();
  }
}
