// GUI utilities on their own: message-box captions and the busy cursor, the
// save-time questions, geometry and dock-layout files, opening pages and the
// manual, the read-only look, the application font from "GUIDefaults", the
// application object and the About box.

#include <gtest/gtest.h>

#include <QApplication>
#include <QDockWidget>
#include <QLabel>
#include <QLineEdit>
#include <QMainWindow>
#include <QPushButton>
#include <QScreen>
#include <QSignalSpy>

#include <cstdio>
#include <cstring>
#include <functional>
#include <string>

#include "AppMainSupport.h"
#include "Qk_AboutDL.h"
#include "Qk_Application.h"
#include "Qk_GUIUtils.h"
#include "Sv_Debug.h"
#include "TestSupport.h"

using orvanta_mainwindow_test::DesktopRecorder;
using orvanta_mainwindow_test::Spin;
using orvanta_test::MessageCapture;
using orvanta_test::ReadFileBytes;
using orvanta_test::ScopedEnv;
using orvanta_test::TempDir;
using orvanta_test::WriteFileBytes;

namespace {

std::string Ints(std::initializer_list<int32_t> values) {
  std::string bytes;
  for (int32_t v : values) {
    for (int i = 0; i < 4; ++i) bytes += static_cast<char>((static_cast<uint32_t>(v) >> (8 * i)) & 0xFF);
  }
  return bytes;
}

// Runs a reader of the utilities on a file holding the bytes.
int ReadFrom(const std::string& path, const std::string& bytes, const std::function<int(FILE*)>& read) {
  if (!WriteFileBytes(path, bytes)) return -2;
  FILE* f = fopen(path.c_str(), "rb");
  const int result = read(f);
  fclose(f);
  return result;
}

}  // namespace

TEST(GUIMessages, CaptionsIconsAndTheBusyCursor) {
  DesktopRecorder recorder;
  Qk_ShowMessage(SV_LEVEL_ERROR, "e", "Prog", nullptr);
  Qk_ShowMessage(SV_LEVEL_WARNING, "w", "Prog", nullptr);
  Qk_ShowMessage(SV_LEVEL_INFO, "<b>i</b>", "Prog", nullptr);
  Qk_ShowMessage(7, "other", "Prog", nullptr);
  ASSERT_EQ(recorder.boxes.size(), 4u);
  const std::pair<const char*, QMessageBox::Icon> expected[] = {{"Prog - Error", QMessageBox::Critical},
                                                                {"Prog - Warning", QMessageBox::Warning},
                                                                {"Prog - Info", QMessageBox::Information},
                                                                {"Prog", QMessageBox::NoIcon}};
  for (int i = 0; i < 4; ++i) {
    EXPECT_EQ(recorder.boxes[i].caption, expected[i].first);
    EXPECT_EQ(recorder.boxes[i].icon, expected[i].second);
  }
  EXPECT_EQ(recorder.boxes[2].text, "<b>i</b>");

  // The wait cursor is lifted while the box is up and comes back after it.
  Qk_BusyCursorOn();
  Qk_ShowMessage(SV_LEVEL_ERROR, "while loading", "Prog", nullptr);
  EXPECT_FALSE(recorder.boxes.back().cursorOverridden);
  ASSERT_NE(QApplication::overrideCursor(), nullptr);
  EXPECT_EQ(QApplication::overrideCursor()->shape(), Qt::WaitCursor);
  Qk_BusyCursorOff();
  EXPECT_EQ(QApplication::overrideCursor(), nullptr);
  Qk_ShowMessage(SV_LEVEL_ERROR, "idle", "Prog", nullptr);
  EXPECT_EQ(QApplication::overrideCursor(), nullptr);
}

TEST(GUIQuestions, OverwriteAndAccessChecks) {
  TempDir dir;
  const std::string missing = dir.file("missing.sd");
  const std::string present = dir.file("present.sd");
  ASSERT_TRUE(WriteFileBytes(present, "x"));
  DesktopRecorder recorder(QMessageBox::No);
  MessageCapture capture;

  EXPECT_EQ(Qk_ConfirmOverwriteOriginal(missing.c_str()), 1);
  EXPECT_TRUE(recorder.boxes.empty());
  EXPECT_EQ(Qk_ConfirmOverwriteOriginal(present.c_str()), 0);
  ASSERT_EQ(recorder.boxes.size(), 1u);
  EXPECT_EQ(recorder.boxes[0].caption, "Save File");
  EXPECT_EQ(recorder.boxes[0].text, "Saving the file, 'present.sd', will overwrite the original file on the disk.\n"
                                    "Do you really want to save?");
  EXPECT_EQ(recorder.boxes[0].defaultButton, QMessageBox::Yes);
  EXPECT_EQ(recorder.boxes[0].yesText, "Save");

  EXPECT_EQ(Qk_CheckFileAccess(nullptr, "rb", missing.c_str()), 0);
  ASSERT_EQ(capture.messages().size(), 1u);
  EXPECT_EQ(capture.messages()[0], std::make_pair(-99, "The filename '" + missing + "' does not exist."));
  EXPECT_EQ(Qk_CheckFileAccess(nullptr, "r", present.c_str()), 1);
  EXPECT_EQ(Qk_CheckFileAccess(nullptr, "wb", missing.c_str()), 1);  // new and writable: no question
  EXPECT_EQ(Qk_CheckFileAccess(nullptr, "w", present.c_str()), 0);
  ASSERT_EQ(recorder.boxes.size(), 2u);
  EXPECT_EQ(recorder.boxes[1].text.toStdString(), "Warning! File '" + present + "' already exists. Overwrite it?");
  recorder.answer = QMessageBox::Yes;
  EXPECT_EQ(Qk_CheckFileAccess(nullptr, "a", present.c_str()), 1);
  EXPECT_EQ(Qk_CheckFileAccess(nullptr, "x", missing.c_str()), 1);
}

TEST(GUIFiles, GeometryRecords) {
  TempDir dir;
  const std::string path = dir.file("geometry");
  QWidget widget;
  widget.setGeometry(40, 50, 320, 200);
  widget.show();
  Spin();
  const QRect shown = widget.geometry();
  FILE* f = fopen(path.c_str(), "wb");
  Qk_SaveGeometry(&widget, f);
  fclose(f);
  EXPECT_EQ(ReadFileBytes(path), Ints({shown.x(), shown.y(), shown.width(), shown.height(), 0}));

  auto restore = [&](const std::string& bytes) {
    return ReadFrom(path, bytes, [&](FILE* file) { return Qk_RestoreGeometry(&widget, file); });
  };
  EXPECT_EQ(restore(Ints({60, 70, 300, 180, 0})), 0);
  EXPECT_EQ(widget.geometry(), QRect(60, 70, 300, 180));
  // Off every screen, or cut short: the window stays where it is. Partly
  // off: moved onto the screen.
  const QRect screen = QGuiApplication::screens()[0]->availableGeometry();
  EXPECT_EQ(restore(Ints({screen.right() + 5000, screen.top() + 10, 300, 180, 0})), 0);
  EXPECT_EQ(restore(Ints({10, 10, 100})), -1);
  EXPECT_EQ(widget.geometry(), QRect(60, 70, 300, 180));
  EXPECT_EQ(restore(Ints({screen.right() - 100, screen.top() + 10, 300, 180, 0})), 0);
  EXPECT_EQ(widget.geometry(), QRect(screen.right() - 299, screen.top() + 10, 300, 180));
  EXPECT_EQ(restore(Ints({0, 0, 10, 10, 1})), 0);
  EXPECT_TRUE(widget.windowState() & Qt::WindowMaximized);
}

TEST(GUIFiles, DockLayoutRoundTripAndDamagedLengths) {
  TempDir dir;
  const std::string path = dir.file("dock");
  QMainWindow window;
  QDockWidget* dock = new QDockWidget("Tools", &window);
  dock->setObjectName("tools");
  window.addDockWidget(Qt::LeftDockWidgetArea, dock);
  FILE* f = fopen(path.c_str(), "wb");
  Qk_SaveDockLayout(&window, f);
  fclose(f);
  const std::string bytes = ReadFileBytes(path);
  int32_t n = -1;
  ASSERT_GE(bytes.size(), 4u);
  memcpy(&n, bytes.data(), 4);
  EXPECT_EQ(static_cast<size_t>(n) + 4, bytes.size());
  window.removeDockWidget(dock);
  auto restore = [&](const std::string& b) {
    return ReadFrom(path, b, [&](FILE* file) { return Qk_RestoreDockLayout(&window, file); });
  };
  EXPECT_EQ(restore(bytes), 0);
  EXPECT_EQ(window.dockWidgetArea(dock), Qt::LeftDockWidgetArea);
  for (const std::string& damaged : {Ints({-1}), Ints({2000000000}), Ints({100}) + "short", std::string("ab")}) {
    EXPECT_EQ(restore(damaged), -1);
  }
}

TEST(GUIDesktop, PagesDocumentsAndTheManual) {
  DesktopRecorder recorder;
  MessageCapture capture;
  EXPECT_TRUE(Qk_ShowURL("https://orvanta.example.org/help"));
  EXPECT_TRUE(Qk_ShowURL("/opt/manuals/guide.pdf"));
  ASSERT_EQ(recorder.urls.size(), 2u);
  EXPECT_EQ(recorder.urls[0].toString(), "https://orvanta.example.org/help");
  EXPECT_EQ(recorder.urls[1], QUrl::fromLocalFile("/opt/manuals/guide.pdf"));
  recorder.urlResult = false;
  EXPECT_FALSE(Qk_ShowURL("https://orvanta.example.org/"));
  ASSERT_EQ(capture.messages().size(), 1u);
  EXPECT_EQ(capture.messages()[0],
            std::make_pair(-99, std::string("Unable to display a web browser. Ensure that you have a web browser "
                                            "installed.")));
  recorder.urlResult = true;
  capture.Clear();
  recorder.urls.clear();

  {
    ScopedEnv noHome("WRUHOME", nullptr);
    EXPECT_FALSE(Qk_ShowReferenceManual());
    EXPECT_TRUE(capture.messages().empty());
  }
  TempDir home;
  ScopedEnv wruhome("WRUHOME", home.path().c_str());
  const std::string manual = home.path() + "/manuals/Reference_Manual.pdf";
  EXPECT_FALSE(Qk_ShowReferenceManual());
  ASSERT_EQ(capture.messages().size(), 1u);
  EXPECT_EQ(capture.messages()[0].first, SV_LEVEL_WARNING);
  const std::string& text = capture.messages()[0].second;
  EXPECT_EQ(text.rfind("The file '" + manual + "' could not be found.\nPlease download this file from\n\n     ", 0), 0u);
  EXPECT_NE(text.find("\n\nand place it in the '" + home.path() +
                      "/manuals/' directory, otherwise online help\nwill not be available."),
            std::string::npos)
      << text;
  ASSERT_EQ(system(("mkdir -p '" + home.path() + "/manuals'").c_str()), 0);
  ASSERT_TRUE(WriteFileBytes(manual, "%PDF"));
  EXPECT_TRUE(Qk_ShowReferenceManual());
  ASSERT_EQ(recorder.urls.size(), 1u);
  EXPECT_EQ(recorder.urls[0], QUrl::fromLocalFile(QString::fromStdString(manual)));
  recorder.urlResult = false;
  EXPECT_FALSE(Qk_ShowReferenceManual());
  EXPECT_EQ(capture.messages().back().second,
            "A web browser could not be located. Please make sure a browser is installed on your system.");
}

TEST(GUILooks, ReadOnlyFields) {
  QLineEdit edit;
  EXPECT_EQ(Qk_SetReadOnly(&edit), &edit);
  EXPECT_TRUE(edit.isReadOnly());
  EXPECT_EQ(edit.palette().color(QPalette::Base), edit.palette().color(QPalette::Window));
  EXPECT_EQ(Qk_SetEditable(&edit), &edit);
  EXPECT_FALSE(edit.isReadOnly());
  EXPECT_EQ(edit.palette().color(QPalette::Base), QApplication::palette(&edit).color(QPalette::Base));
}

TEST(GUIDefaultsFile, FontFamilyAndSize) {
  const QFont qtFont = QApplication::font();
  TempDir config;
  ScopedEnv where("WRUCONFIGURATIONS", config.path().c_str());
  struct Case {
    const char* content;  // null: no file
    const char* family;   // null: Qt's font stays
    int size;
  };
  const Case cases[] = {
      {nullptr, nullptr, 0},
      {"# fonts\n1\nDefault\n40\n", nullptr, 0},
      {"# fonts\n# of the viewer\n1\nCourier New\n10\n", "Courier", 10},  // the first word is the family
      {"1\nSerif\n0\n", "Serif", 9},
      {"1\nSerif\n200\n", "Serif", 9},
      {"1\nSerif\n", "Serif", 9},
      {"1\nSerif\nbig\n", "Serif", 9},
      {"1\nSerif\n128\n", "Serif", 128},
      {"1\n\n12\n", nullptr, 0},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.content ? c.content : "(no file)");
    QApplication::setFont(qtFont);
    remove(config.file("GUIDefaults").c_str());
    if (c.content) {
      ASSERT_TRUE(WriteFileBytes(config.file("GUIDefaults"), c.content));
    }
    Qk_LoadGUIDefaults(qApp);
    if (!c.family) {
      EXPECT_EQ(QApplication::font(), qtFont);
    } else {
      EXPECT_EQ(QApplication::font().family(), c.family);
      EXPECT_EQ(QApplication::font().pointSize(), c.size);
    }
  }
  QApplication::setFont(qtFont);
}

TEST(ApplicationObject, RelaysFileOpenEventsOnly) {
  Qk_Application* app = Qk_Application::Instance();
  ASSERT_EQ(app, qApp);
  QSignalSpy spy(app, &Qk_Application::LoadFileSG);
  EXPECT_EQ(static_cast<int>(Qk_FileOpenEvent("x").type()), 1000);
  QCoreApplication::postEvent(app, new Qk_FileOpenEvent("/data/site.scene"));
  QCoreApplication::postEvent(app, new QEvent(static_cast<QEvent::Type>(1001)));
  Spin();
  ASSERT_EQ(spy.count(), 1);
  EXPECT_EQ(spy[0][0].toString(), "/data/site.scene");
}

TEST(AboutDialog, FormAndTexts) {
  Qk_AboutDL about;
  EXPECT_EQ(about.objectName(), "Qk_AboutDL");
  EXPECT_EQ(about.windowTitle(), "About");
  EXPECT_EQ(about.captionLabel->text(), "Caption");
  EXPECT_EQ(about.versionLabel->text(), "Version");
  for (const char* field : {"E-mail:", "Website:", "Phone:", "Address:"}) {
    EXPECT_TRUE(about.contactLabel->text().contains(field)) << field;
  }
  EXPECT_GE(about.width(), 463);
  EXPECT_GE(about.height(), 350);
  // Top to bottom: caption, version, separator, contacts, separator, owner, OK.
  const QWidget* order[] = {about.captionLabel, about.versionLabel,   about.frame11_2, about.contactLabel,
                            about.frame11,      about.copyrightLabel, about.okButton};
  about.show();
  Spin();
  for (size_t i = 1; i < sizeof(order) / sizeof(order[0]); ++i) EXPECT_LT(order[i - 1]->y(), order[i]->y()) << i;

  about.SetupDialog("Prog", "Prog - A Viewer", nullptr, nullptr);
  EXPECT_EQ(about.windowTitle(), "About - Prog");
  EXPECT_EQ(about.captionLabel->text(), "Prog - A Viewer");
  EXPECT_EQ(about.versionLabel->text(), "Version 6.1.2b");
  EXPECT_EQ(about.copyrightLabel->text(), Qk_AboutDL::OwnerLine(nullptr));
  about.SetupDialog("Prog", "Caption", "7.0", "2001-2003");
  EXPECT_EQ(about.versionLabel->text(), "Version 7.0");
  EXPECT_TRUE(about.copyrightLabel->text().contains("2001-2003"));
  about.okButton->click();
  EXPECT_FALSE(about.isVisible());
}
