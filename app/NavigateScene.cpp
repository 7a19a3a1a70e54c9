#include "NavigateScene.h"

#include <QHBoxLayout>
#include <QPixmap>
#include <QPushButton>
#include <QSpacerItem>
#include <QTextCursor>
#include <QTextEdit>
#include <QVBoxLayout>

namespace {

// The guide: plain text with line breaks and five-space paragraph indents.
const char kGuide[] =
    "Orvanta - The Brannovick Viewer\n"
    "-------------------------------\n"
    "\n"
    "What is Orvanta?\n"
    "\n"
    "     Orvanta shows the data files of the Brannovick package, stored in\n"
    "the '.sd' or the '.scene' format, in three dimensions. It offers only a\n"
    "small part of the features of the full package: it looks at data, it\n"
    "does not create or change them. Terrain models, soundings, points,\n"
    "lines, images and survey data are shown together in one georeferenced\n"
    "scene that can be explored from any direction.\n"
    "\n"
    "Loading files\n"
    "\n"
    "     Files are loaded from the File menu. An '.sd' file (\"scientific\n"
    "data\") holds one data object, such as a terrain model, a set of points\n"
    "or lines, or an image. A '.scene' file holds several SD files that are\n"
    "georeferenced into one scene. Creating or editing these files needs the\n"
    "full Brannovick package.\n"
    "\n"
    "     Use File > Open SD File... to load an SD file and File > Open Scene\n"
    "File... to load a scene. The scene is fitted into the window as it\n"
    "loads.\n"
    "\n"
    "Navigating the scene\n"
    "\n"
    "     Hold the left mouse button down and drag left or right to turn the\n"
    "scene about its vertical axis; the farther the pointer is from where the\n"
    "button went down, the faster it turns. Drag up or down to tilt the\n"
    "scene, from a view straight down to a view from below.\n"
    "\n"
    "     Click the middle (or right) button on the scene to centre the view\n"
    "on the point under the pointer. Hold the same button down and drag up\n"
    "to zoom in, down to zoom out. Pressing the mouse wheel down acts as the\n"
    "middle button. Camera > Reset Camera brings back the initial view.\n"
    "\n"
    "     While the pointer is over a surface, its geographic coordinates are\n"
    "shown in the status bar.\n"
    "\n"
    "     The dials show the heading and the tilt of the view. Dragging a\n"
    "dial turns the view with it, and the active dial turns blue. The tick\n"
    "marks along the dial axes give relative distances in metres. The angles\n"
    "beside the dials give the compass bearing or the angle of declination;\n"
    "an N marks north on the top dial. Drag the cone in the middle of the\n"
    "top dial up or down with the left button to change the vertical\n"
    "exaggeration.\n"
    "\n"
    "     While dragging with the left button, click the middle or right\n"
    "button to lock the rotation on: the scene keeps turning, and the dials\n"
    "spin on and turn red. Drag with the left button again to unlock it.\n"
    "\n"
    "     In short:\n"
    "          left button, drag left or right     turn (heading)\n"
    "          left button, drag up or down        tilt\n"
    "          middle button, click                centre on a point\n"
    "          middle button, drag up or down      zoom in or out\n"
    "          left drag, then middle click        lock the rotation on\n"
    "\n"
    "Loading a Flightpath\n"
    "\n"
    "     Choose File > Play Flightpath and select an '.fph' or '.mov' file.\n"
    "The flight path plays continually until the mouse is clicked or a key\n"
    "is pressed; navigation then goes on from the view on the screen.\n"
    "Selecting the file again restarts the flight path from its beginning.\n"
    "A flight path is a recorded journey of the camera through the scene.\n"
    "\n"
    "Split Screen Stereo\n"
    "\n"
    "     Split screen stereo draws the view for the left eye in the left half\n"
    "of the window and the view for the right eye in the right half. The\n"
    "mode is meant for special hardware, usually two projectors with\n"
    "polarising filters. Camera > Split Screen Stereo enters and leaves it.\n"
    "Without such hardware the two halves are simply seen side by side.\n"
    "\n"
    "Running Orvanta from the Command Line\n"
    "\n"
    "     SD files, scenes and flight paths can be given on the command line,\n"
    "so that Orvanta opens them as it starts. Run Orvanta with the -h option\n"
    "to see how. For example:\n"
    "\n"
    "          orvanta -scene harbour.scene -flightpath approach.fph\n"
    "\n"
    "opens a scene and plays a flight path through it. The -data option\n"
    "opens an SD file in the same way.\n"
    "\n"
    "     This guide opens with the F1 key or from Help > Navigating the\n"
    "Scene.\n";

}  // namespace

NavigateScene::NavigateScene(QWidget* parent, const char* name, bool modal, Qt::WindowFlags flags)
    : QDialog(parent, flags) {
  setObjectName(name ? name : "NavigateScene");
  setModal(modal);
  setWindowIcon(QPixmap(":/orvanta/orvanta.png"));

  NavigateSceneLayout = new QVBoxLayout(this);
  NavigateSceneLayout->setObjectName("NavigateSceneLayout");
  NavigateSceneLayout->setContentsMargins(11, 11, 11, 11);
  NavigateSceneLayout->setSpacing(6);

  layout7 = new QVBoxLayout();
  layout7->setObjectName("layout7");
  layout7->setContentsMargins(0, 0, 0, 0);
  layout7->setSpacing(6);
  helpText = new QTextEdit(this);
  helpText->setObjectName("helpText");
  layout7->addWidget(helpText);
  NavigateSceneLayout->addLayout(layout7);

  layout5 = new QHBoxLayout();
  layout5->setObjectName("layout5");
  layout5->setContentsMargins(0, 0, 0, 0);
  layout5->setSpacing(6);
  layout5->addItem(new QSpacerItem(40, 20, QSizePolicy::Expanding, QSizePolicy::Minimum));
  okButton = new QPushButton(this);
  okButton->setObjectName("okButton");
  layout5->addWidget(okButton);
  NavigateSceneLayout->addLayout(layout5);

  languageChange();
  resize(QSize(559, 569).expandedTo(minimumSizeHint()));
  connect(okButton, &QPushButton::clicked, this, &QDialog::accept);
  init();
}

NavigateScene::~NavigateScene() = default;

const char* NavigateScene::GuideText() { return kGuide; }

void NavigateScene::languageChange() {
  setWindowTitle(tr("Help - Navigating the Scene"));
  okButton->setText(tr("OK"));
}

void NavigateScene::init() {
  // Plain text: line breaks stay line breaks, nothing is read as markup.
  helpText->setPlainText(QString::fromUtf8(kGuide));
  helpText->setReadOnly(true);
  QTextCursor cursor = helpText->textCursor();
  cursor.movePosition(QTextCursor::Start);
  helpText->setTextCursor(cursor);
  helpText->ensureCursorVisible();
}
