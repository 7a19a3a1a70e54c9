#include "Qk_AboutDL.h"

#include <QFrame>
#include <QHBoxLayout>
#include <QLabel>
#include <QPushButton>
#include <QSpacerItem>
#include <QVBoxLayout>

#include "Sv_CmdProcessor.h"

namespace {

const char* const kDefaultYears = "1998-2004";
const char* const kOwner = "Orvanta Visualization Group";

const char* const kContact =
    "E-mail:\tsupport@orvanta.example.org\n"
    "\n"
    "Website:\thttps://orvanta.example.org/\n"
    "\n"
    "Phone:\t+1 555 0100\n"
    "\n"
    "Address:\tOrvanta Visualization Group\n"
    "\t\t100 Harbour Road\n"
    "\t\tPort Example, EX 00000";

QSpacerItem* HorizontalSpacer(int w = 40, int h = 20) {
  return new QSpacerItem(w, h, QSizePolicy::Expanding, QSizePolicy::Minimum);
}

QSpacerItem* VerticalSpacer() { return new QSpacerItem(20, 16, QSizePolicy::Minimum, QSizePolicy::Expanding); }

// A row that centres one widget between two spacers.
QHBoxLayout* CentredRow(const char* name, QWidget* widget) {
  QHBoxLayout* row = new QHBoxLayout();
  row->setObjectName(name);
  row->setContentsMargins(0, 0, 0, 0);
  row->setSpacing(6);
  row->addItem(HorizontalSpacer());
  row->addWidget(widget);
  row->addItem(HorizontalSpacer());
  return row;
}

QFrame* Separator(QWidget* parent, const char* name) {
  QFrame* frame = new QFrame(parent);
  frame->setObjectName(name);
  frame->setSizePolicy(QSizePolicy::Preferred, QSizePolicy::Fixed);
  frame->setMinimumSize(0, 4);
  frame->setFrameShape(QFrame::StyledPanel);
  frame->setFrameShadow(QFrame::Raised);
  return frame;
}

QLabel* Label(QWidget* parent, const char* name) {
  QLabel* label = new QLabel(parent);
  label->setObjectName(name);
  label->setTextFormat(Qt::PlainText);
  return label;
}

}  // namespace

Qk_AboutDL::Qk_AboutDL(QWidget* parent, const char* name, bool modal, Qt::WindowFlags flags)
    : QDialog(parent, flags) {
  setObjectName(name ? name : "Qk_AboutDL");
  setModal(modal);
  setSizePolicy(QSizePolicy::Preferred, QSizePolicy::Preferred);

  Qk_AboutDLLayout = new QVBoxLayout(this);
  Qk_AboutDLLayout->setObjectName("Qk_AboutDLLayout");
  Qk_AboutDLLayout->setContentsMargins(11, 11, 11, 11);
  Qk_AboutDLLayout->setSpacing(6);

  captionLabel = Label(this, "captionLabel");
  versionLabel = Label(this, "versionLabel");
  frame11_2 = Separator(this, "frame11_2");
  contactLabel = Label(this, "contactLabel");
  frame11 = Separator(this, "frame11");
  copyrightLabel = Label(this, "copyrightLabel");
  okButton = new QPushButton(this);
  okButton->setObjectName("okButton");
  okButton->setDefault(true);

  layout2_2 = CentredRow("layout2_2", captionLabel);
  layout4 = CentredRow("layout4", versionLabel);
  layout36 = new QHBoxLayout();
  layout36->setObjectName("layout36");
  layout36->addItem(HorizontalSpacer(87, 20));
  layout36->addWidget(contactLabel);
  layout36->addItem(HorizontalSpacer(79, 31));
  layout2 = CentredRow("layout2", copyrightLabel);
  layout1 = CentredRow("layout1", okButton);

  Qk_AboutDLLayout->addItem(VerticalSpacer());
  Qk_AboutDLLayout->addLayout(layout2_2);
  Qk_AboutDLLayout->addLayout(layout4);
  Qk_AboutDLLayout->addItem(VerticalSpacer());
  Qk_AboutDLLayout->addWidget(frame11_2);
  Qk_AboutDLLayout->addLayout(layout36);
  Qk_AboutDLLayout->addWidget(frame11);
  Qk_AboutDLLayout->addItem(VerticalSpacer());
  Qk_AboutDLLayout->addLayout(layout2);
  Qk_AboutDLLayout->addItem(VerticalSpacer());
  Qk_AboutDLLayout->addLayout(layout1);
  Qk_AboutDLLayout->addItem(VerticalSpacer());

  languageChange();
  resize(QSize(463, 350).expandedTo(minimumSizeHint()));
  connect(okButton, &QPushButton::clicked, this, &QDialog::close);
}

Qk_AboutDL::~Qk_AboutDL() {}

const char* Qk_AboutDL::DefaultVersion() { return Sv_CmdProcessor::Version(); }

QString Qk_AboutDL::OwnerLine(const char* years) {
  return QString("Copyright (C) %1 %2").arg(QString::fromLocal8Bit(years ? years : kDefaultYears), kOwner);
}

void Qk_AboutDL::languageChange() {
  setWindowTitle(tr("About"));
  captionLabel->setText(tr("Caption"));
  versionLabel->setText(tr("Version"));
  contactLabel->setText(tr(kContact));
  copyrightLabel->setText(OwnerLine(nullptr));
  okButton->setText(tr("OK"));
}

void Qk_AboutDL::SetupDialog(const char* title, const char* caption, const char* version, const char* years) {
  setWindowTitle(QString("About - %1").arg(QString::fromLocal8Bit(title ? title : "")));
  captionLabel->setText(QString::fromLocal8Bit(caption ? caption : ""));
  versionLabel->setText(QString("Version %1").arg(QString::fromLocal8Bit(version ? version : DefaultVersion())));
  copyrightLabel->setText(OwnerLine(years));
}
