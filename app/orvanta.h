#ifndef ORVANTA_H
#define ORVANTA_H

#include <QByteArray>
#include <QMainWindow>
#include <QPointer>
#include <QString>
#include <QStringList>

#include <string>

class QAction;
class QCloseEvent;
class QLineEdit;
class QMenu;
class QMenuBar;
class QOpenGLContextGroup;
class QVBoxLayout;
class NavigateScene;
class Qk_CommandApprover;
class Qk_GLWorkArea;

// The main window of the viewer: the menu bar (File, Camera, View, Help), the
// OpenGL work area filling the window and two status fields, the geographic
// location under the pointer and the vertical exaggeration.
//
// Start-up happens in two steps. The constructor builds the widgets, actions
// and menus and ends with init(), which registers the message handler and
// connects the work area. When the work area has its OpenGL context it emits
// InitSG(), and InitSL() handles the command line ("-data", "-scene",
// "-flightpath", "-direct", "-h", "-ver", "-debug"), loads the files it names
// and reads the options file.
//
// Closing the window writes the options file and ends the process; File >
// Exit asks first and ends the process without writing it.
class orvanta : public QMainWindow {
  Q_OBJECT

 public:
  explicit orvanta(QWidget* parent = nullptr, const char* name = nullptr, Qt::WindowFlags flags = Qt::Window);
  ~orvanta() override;

  // --- widgets and actions (owned by the Qt object tree) ---
  QVBoxLayout* orvantaLayout;
  Qk_GLWorkArea* m_workarea;
  QLineEdit* ExagEdit;
  QLineEdit* GeorefEdit;
  QMenuBar* menubar;
  QMenu* FileMenu;
  QMenu* CameraMenu;
  QMenu* ViewMenu;
  QMenu* HelpMenu;

  QAction* FileOpenAction;
  QAction* FileExitAction;
  QAction* FileLoadSceneAction;
  QAction* HelpWRUHomePageAction;
  QAction* HelpBrannovickHomePageAction;
  QAction* HelpOrvantaHomePageAction;
  QAction* CameraResetCameraAction;
  QAction* HelpContentsAction;
  QAction* HelpNavigateSceneAction;
  QAction* HelpAboutAction;
  QAction* FilePlayFlightpathAction;
  QAction* CameraStereoAction;
  QAction* ToogleData1Action;
  QAction* FilePreferencesAction;
  QAction* ToogleData2Action;
  QAction* ToogleData3Action;
  QAction* ToogleData4Action;
  QAction* ToogleData5Actionn;
  QAction* ToogleData6Action;
  QAction* ToogleData7Action;
  QAction* ToogleData8Action;
  QAction* ToogleData9Action;
  QAction* ToogleData10Action;

  // --- virtual operations ---
  // Replaces the scene with the SD file; 0, or -1 when nothing was read.
  virtual int LoadDataFile(const char* fileName);
  // Replaces the scene with the scene file; 0, or -1 when it was not read.
  virtual int LoadSceneFile(const char* fileName);
  // Reads the flight path and plays it; 0, or -1 when it cannot be read.
  virtual int PlayFlightpath(const char* fileName);
  // The options file's path: a new string the caller frees with free().
  virtual char* GetOptionsFileName();
  // Makes the logo texture in the current GL context.
  virtual void LoadLogoTexture();

  // Rebuilds the View menu from the scene.
  void UpdateViewMenu();
  // Switches the n-th data set (1 to 10) on or off.
  void ToggleData(int n);

  // The window's size before any options apply, and the smallest a stored
  // geometry is given (from this size up the navigator's dials fit whole).
  static constexpr int kBaseWidth = 781;
  static constexpr int kBaseHeight = 540;

  // --- state ---
  // Directory of the last file opened, with its trailing separator.
  const std::string& GetLastDirectory() const { return lastDirectory; }
  int GetStereoAtStartup() const { return stereoAtStartup; }
  // True once InitSL has run.
  bool IsStarted() const { return m_started; }
  // GL texture name of the logo, -1 when there is none.
  int GetLogoTexture() const { return m_logoTexture; }
  // The command line InitSL parses; the application's arguments unless set.
  void SetArguments(const QStringList& arguments);
  // Shows the window as the program starts it. When no options file gives
  // a geometry (the first start) it opens maximized over the screen's
  // available area, since the camera and dial sizes need a view of about
  // 1500 x 940 pixels to show the whole scene and the heading dial; else it
  // shows with the stored geometry (InitSL applies it again with the rest
  // of the options).
  void ShowAtStart();
  // True when the options file holds a usable geometry.
  bool StoredGeometryExists();
  // Applies the options file's geometry to target (null: applies nothing),
  // fitted to the screens; true when the file holds a usable geometry and
  // it was applied. Reports nothing: InitSL reads the file again and
  // reports what it refused.
  bool ApplyStoredGeometry(QWidget* target);
  // The window that init() registered (the last one constructed), or null.
  static orvanta* Instance();
  // The files the command line names ("-data", "-scene", "-flightpath"),
  // empty when not given.
  struct CommandLine {
    char dataFile[256] = "";
    char sceneFile[256] = "";
    char flightPath[256] = "";
  };
  // Parses the command line (the program name first) as InitSL does: 0, or
  // -1 after the usage ("-h"), the version ("-ver") or the error was
  // written to the error stream.
  static int ParseCommandLine(const QStringList& args, CommandLine* out);
  // The "Navigating the Scene" help dialog, made once by init().
  NavigateScene* GetNavigateScene() const { return m_navigateScene; }

  // --- messages ---
  // The message handler registered with Sv_Debug: queues the message and
  // shows it in a message box from the event loop, one box at a time, so
  // that a box never opens inside drawing or loading code.
  static void MessageHandler(int level, const char* text);
  // Shows the queued messages now.
  static void ShowPendingMessages();
  // Number of queued messages not shown yet.
  static int PendingMessageCount();
  // Writes the queued messages to the error stream and forgets them (for a
  // process that ends before it could show them).
  static void FlushPendingMessagesToConsole();
  // The messages of one load: between Begin and End every message is held
  // back; End queues them as one message (each text once, at the most
  // serious level among them, opening with the file's name when a text does
  // not name it). Calls nest; the outermost pair counts.
  static void BeginLoadMessages(const char* fileName);
  static void EndLoadMessages();
  // Holds the messages of one load for its lifetime.
  class LoadMessageScope {
   public:
    explicit LoadMessageScope(const char* fileName) { BeginLoadMessages(fileName); }
    ~LoadMessageScope() { EndLoadMessages(); }
    LoadMessageScope(const LoadMessageScope&) = delete;
    LoadMessageScope& operator=(const LoadMessageScope&) = delete;
  };

 public slots:
  virtual void InitSL();
  virtual void FileOpenSL();
  virtual void FileLoadSceneSL();
  virtual void FilePlayFlightpathSL();
  virtual void FileExitSL();
  virtual void CameraResetCameraSL();
  virtual void CameraStereoSL();
  virtual void HelpAboutSL();
  virtual void HelpWRUHomePageSL();
  virtual void HelpBrannovickHomePageSL();
  virtual void HelpOrvantaHomePageSL();
  virtual void HelpNavigateSceneSL();
  // "Orvanta" for null, else "Orvanta -- " and the name (its last 36
  // characters after "... " when longer than 40).
  virtual void SetTitle(const char* fileName);
  virtual void SaveConfigurationFile();
  virtual void LoadConfigurationFile();
  virtual void RenderLogoSL();
  virtual void VertExagChangedSL();
  virtual void SetPickInfoSL(char* msg);
  virtual void ViewItemActivateSL(int item);
  virtual void LoadFileSL(QString qfilename);
  virtual void languageChange();
  virtual void FilePreferencesSL();
  virtual void ToggleData1ActionSL();
  virtual void ToggleData2ActionSL();
  virtual void ToggleData3ActionSL();
  virtual void ToggleData4ActionSL();
  virtual void ToggleData5ActionSL();
  virtual void ToggleData6ActionSL();
  virtual void ToggleData7ActionSL();
  virtual void ToggleData8ActionSL();
  virtual void ToggleData9ActionSL();
  virtual void ToggleData10ActionSL();

 protected:
  // Writes the options file and ends the process; never returns.
  void closeEvent(QCloseEvent* event) override;
  // The end of construction: message handler, status fields, work-area
  // settings and connections.
  void init();
  // The directory part of the name becomes lastDirectory (when it has one).
  void RememberDirectory(const char* fileName);
  // The open-file dialog ("open file dialog"), starting in lastDirectory;
  // the chosen name in the form the loaders take (backslashes), empty when
  // cancelled.
  QByteArray AskFileToOpen(const QString& caption, const QString& filter);
  // The View-menu item with that id, or null.
  QAction* ViewItem(int id) const;
  // Steps 3 to 6 of choosing a View item, with the check mark the item had
  // before it was chosen (Qt flips a checkable item before it reports it).
  void ActivateViewItem(int item, bool checked);

  int stereoAtStartup;
  std::string lastDirectory;

 private:
  bool m_started;
  bool m_hasArguments;
  QStringList m_arguments;
  int m_logoLoaded;
  int m_logoTexture;
  int m_logoHeight;
  int m_logoWidth;
  QPointer<QOpenGLContextGroup> m_logoContext;
  std::string m_shownFile;  // the file whose scene is on screen, empty before the first

  NavigateScene* m_navigateScene = nullptr;  // a top-level window, deleted with this one
  // Asks the user before a data set runs a stored command.
  Qk_CommandApprover* m_commandApprover = nullptr;
  // Files that arrived to be opened while a command's question was open,
  // opened once the click that asked has returned.
  QStringList m_waitingFiles;
};

#endif
