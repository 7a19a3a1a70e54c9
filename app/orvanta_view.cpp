// The View menu and the dataset keys of the main window: one checkable item
// per node below the root, in the iterator's depth-first order (item id
// 10000 + k and key k mean the k-th node), the check showing whether the
// node is drawn. The placeholder (id 9999) stands in for an empty scene.

#include <QAction>
#include <QMenu>

#include "Qk_GLWorkArea.h"
#include "Sd_Iterator.h"
#include "Sd_Node.h"
#include "orvanta.h"

namespace {

constexpr int kFirstItem = 10000;
constexpr int kPlaceholder = 9999;

}  // namespace

void orvanta::UpdateViewMenu() {
  ViewMenu->clear();
  int id = kFirstItem;
  if (Sd_Node* root = m_workarea->GetRoot()) {
    Sd_Iterator it(root);
    it.GetRoot();  // the root itself is not listed
    for (Sd_Node* node = it.Next(); node; node = it.Next()) {
      QAction* item = ViewMenu->addAction(QString::fromLocal8Bit(node->GetName()));
      item->setData(++id);
      item->setCheckable(true);
      item->setChecked(node->GetVisible() != 0);
    }
  }
  if (id == kFirstItem) {
    QAction* none = ViewMenu->addAction(tr("none"));
    none->setData(kPlaceholder);
    none->setEnabled(false);
  }
}

QAction* orvanta::ViewItem(int id) const {
  for (QAction* a : ViewMenu->actions()) {
    if (a->data().toInt() == id) return a;
  }
  return nullptr;
}

void orvanta::ViewItemActivateSL(int item) {
  QAction* action = ViewItem(item);
  ActivateViewItem(item, action && action->isChecked());
}

void orvanta::ActivateViewItem(int item, bool checked) {
  if (item <= kFirstItem) return;
  Sd_Node* node = nullptr;
  if (Sd_Node* root = m_workarea->GetRoot()) {
    Sd_Iterator it(root);
    node = it.GetRoot();
    for (int id = kFirstItem; id < item && node; ++id) node = it.Next();
  }
  if (!node) return;
  QAction* action = ViewItem(item);
  if (checked && node->GetVisible() == 1) {
    checked = false;
    node->SetVisible(0);
  } else if (!checked && node->GetVisible() == 0) {
    checked = true;
    node->SetVisible(1);
  }
  // Otherwise flag and check stay as they were.
  if (action) action->setChecked(checked);
  m_workarea->UpdateGL();
}

void orvanta::ToggleData(int n) {
  Sd_Node* node = nullptr;
  if (Sd_Node* root = m_workarea->GetRoot()) {
    Sd_Iterator it(root);
    it.GetRoot();
    node = it.Next();
    for (int i = 1; i < n && node; ++i) node = it.Next();
  }
  if (!node) return;
  node->SetVisible(node->GetVisible() != 0 ? 0 : 1);
  if (QAction* action = ViewItem(kFirstItem + n)) action->setChecked(node->GetVisible() > 0);
  m_workarea->UpdateGL();
}

void orvanta::ToggleData1ActionSL() { ToggleData(1); }
void orvanta::ToggleData2ActionSL() { ToggleData(2); }
void orvanta::ToggleData3ActionSL() { ToggleData(3); }
void orvanta::ToggleData4ActionSL() { ToggleData(4); }
void orvanta::ToggleData5ActionSL() { ToggleData(5); }
void orvanta::ToggleData6ActionSL() { ToggleData(6); }
void orvanta::ToggleData7ActionSL() { ToggleData(7); }
void orvanta::ToggleData8ActionSL() { ToggleData(8); }
void orvanta::ToggleData9ActionSL() { ToggleData(9); }
void orvanta::ToggleData10ActionSL() { ToggleData(10); }
