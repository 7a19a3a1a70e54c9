// The "Navigating the Scene" help window of the main window: made once,
// opened with F1 as a modal window holding the read-only guide, closed with
// OK, and the same text however often it is opened.

#include <gtest/gtest.h>

#include <QAction>
#include <QApplication>
#include <QMenu>
#include <QPushButton>
#include <QSignalSpy>
#include <QTextEdit>
#include <QTimer>

#include <string>

#include "NavigateScene.h"
#include "WindowFixture.h"

namespace {

class NavigateSceneWindow : public orvanta_mainwindow_test::WindowFixture {
 protected:
  void SetUp() override { ASSERT_TRUE(StartWindow({"orvanta"})); }

  // Opens the help window (with F1 when key is set, else through its
  // slot); once it shows, a timer notes its text and presses OK.
  void OpenAndClose(bool key) {
    NavigateScene* help = window->GetNavigateScene();
    QTimer watcher;
    QObject::connect(&watcher, &QTimer::timeout, [&] {
      if (QApplication::activeModalWidget() != help) return;
      watcher.stop();
      shownText = help->helpText->toPlainText();
      help->okButton->click();
    });
    watcher.start(10);
    if (!key) {
      window->HelpNavigateSceneSL();
    } else {
      QSignalSpy spy(window->HelpNavigateSceneAction, &QAction::triggered);
      ASSERT_TRUE(orvanta_mainwindow_test::PressUntilSignalled(window, window->m_workarea, Qt::Key_F1, spy));
      ASSERT_EQ(spy.count(), 1);
    }
  }

  QString shownText;
};

TEST_F(NavigateSceneWindow, F1OpensTheReadOnlyGuideOnceAndOkClosesIt) {
  NavigateScene* help = window->GetNavigateScene();
  ASSERT_NE(help, nullptr);
  EXPECT_EQ(help->parent(), nullptr);
  EXPECT_FALSE(help->isVisible());
  EXPECT_EQ(help->objectName(), "NavigateScene");
  EXPECT_EQ(help->windowTitle(), "Help - Navigating the Scene");
  EXPECT_FALSE(help->windowIcon().isNull());
  EXPECT_GE(help->width(), 559);
  EXPECT_GE(help->height(), 569);
  EXPECT_TRUE(help->helpText->isReadOnly());
  EXPECT_EQ(help->okButton->text(), "OK");
  for (const char* name : {"NavigateSceneLayout", "layout7", "layout5"}) {
    EXPECT_NE(help->findChild<QObject*>(name), nullptr) << name;
  }

  ASSERT_NO_FATAL_FAILURE(OpenAndClose(true));
  EXPECT_FALSE(help->isVisible()) << "OK closes it";
  EXPECT_EQ(help->result(), QDialog::Accepted);
  const QString text = shownText;
  EXPECT_TRUE(text.startsWith("Orvanta - The Brannovick Viewer\n-------")) << text.left(80).toStdString();
  for (const char* heading : {"\nWhat is Orvanta?\n", "\nLoading files\n", "\nNavigating the scene\n",
                              "\nLoading a Flightpath\n", "\nSplit Screen Stereo\n",
                              "\nRunning Orvanta from the Command Line\n"}) {
    EXPECT_TRUE(text.contains(heading)) << heading;
  }
  EXPECT_EQ(help->helpText->textCursor().position(), 0) << "it shows from its first line";

  // Opened again: the same text, not a second copy.
  shownText.clear();
  ASSERT_NO_FATAL_FAILURE(OpenAndClose(false));
  EXPECT_EQ(shownText, text);
  EXPECT_EQ(window->GetNavigateScene(), help);
}

TEST_F(NavigateSceneWindow, TheGuideNamesTheMenuItemsAndTheTiltRangeAsTheyAre) {
  // Every "Menu > Item" of the guide is an item as its menu shows it.
  const QString guide = QString::fromUtf8(NavigateScene::GuideText()).simplified();
  int named = 0;
  for (QMenu* menu : {window->FileMenu, window->CameraMenu, window->HelpMenu}) {
    const QString prefix = menu->title().remove('&') + " > ";
    for (int at = guide.indexOf(prefix); at >= 0; at = guide.indexOf(prefix, at + 1), ++named) {
      const QString rest = guide.mid(at + prefix.size());
      bool found = false;
      for (QAction* a : menu->actions()) found = found || (!a->iconText().isEmpty() && rest.startsWith(a->iconText()));
      EXPECT_TRUE(found) << rest.left(40).toStdString();
    }
  }
  EXPECT_GE(named, 6);
  // The tilt runs from straight down (0) to a view from below (-180).
  EXPECT_TRUE(guide.contains("from a view straight down to a view from below"));
}

}  // namespace
