#include "PreferencesDL.h"

#include <QCheckBox>
#include <QHBoxLayout>
#include <QPushButton>
#include <QSpacerItem>
#include <QVBoxLayout>

PreferencesDL::PreferencesDL(QWidget* parent, const char* name, bool modal, Qt::WindowFlags flags)
    : QDialog(parent, flags) {
  setObjectName(name ? name : "PreferencesDL");
  setModal(modal);
  setSizeGripEnabled(true);

  PreferencesDLLayout = new QVBoxLayout(this);
  PreferencesDLLayout->setObjectName("PreferencesDLLayout");
  PreferencesDLLayout->setContentsMargins(6, 6, 6, 6);
  PreferencesDLLayout->setSpacing(5);

  // The check box centred between two spacers.
  layout4 = new QHBoxLayout();
  layout4->setObjectName("layout4");
  layout4->setSpacing(5);
  layout4->addItem(new QSpacerItem(41, 20, QSizePolicy::Expanding, QSizePolicy::Minimum));
  stereoStartupCheck = new QCheckBox(this);
  stereoStartupCheck->setObjectName("stereoStartupCheck");
  layout4->addWidget(stereoStartupCheck);
  layout4->addItem(new QSpacerItem(41, 20, QSizePolicy::Expanding, QSizePolicy::Minimum));
  PreferencesDLLayout->addLayout(layout4);

  // The buttons on the right.
  Layout1 = new QHBoxLayout();
  Layout1->setObjectName("Layout1");
  Layout1->setSpacing(6);
  Layout1->addItem(new QSpacerItem(20, 20, QSizePolicy::Expanding, QSizePolicy::Minimum));
  buttonOk = new QPushButton(this);
  buttonOk->setObjectName("buttonOk");
  buttonOk->setAutoDefault(true);
  buttonOk->setDefault(true);
  Layout1->addWidget(buttonOk);
  buttonCancel = new QPushButton(this);
  buttonCancel->setObjectName("buttonCancel");
  buttonCancel->setAutoDefault(true);
  Layout1->addWidget(buttonCancel);
  PreferencesDLLayout->addLayout(Layout1);

  languageChange();
  resize(minimumSizeHint().expandedTo(QSize(342, 154)));

  connect(buttonOk, &QPushButton::clicked, this, &QDialog::accept);
  connect(buttonCancel, &QPushButton::clicked, this, &QDialog::reject);
}

PreferencesDL::~PreferencesDL() {}

void PreferencesDL::languageChange() {
  setWindowTitle(tr("Preferences"));
  stereoStartupCheck->setText(tr("Startup Orvanta in Stereo Mode"));
  buttonOk->setText(tr("&OK"));
  buttonOk->setShortcut(QKeySequence());
  buttonCancel->setText(tr("&Cancel"));
  buttonCancel->setShortcut(QKeySequence());
}

void PreferencesDL::SetStereoStartup(int on) { stereoStartupCheck->setChecked(on != 0); }

int PreferencesDL::GetStereoStartup() const { return stereoStartupCheck->isChecked() ? 1 : 0; }
