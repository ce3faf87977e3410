// Controls on Qt widgets: buttons, radio buttons, the drop-down list, progress and status bars.
#include "platform/gui/controls.h"

#include <QComboBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QProgressBar>
#include <QPushButton>
#include <QRadioButton>

#include <cstring>

#include "platform/gui/docview.h"
#include "platform/gui/window_impl.h"

using gui::detail::WindowImpl;
using gui::detail::WindowKind;

namespace gui::detail {

void Notify(WindowImpl* control, WORD code) {
  if (!control->parent || !control->owner->m_hWnd) return;
  control->parent->SendMessage(WM_COMMAND, MAKEWPARAM(static_cast<WORD>(control->id), code),
                               reinterpret_cast<LPARAM>(control->owner->m_hWnd));
}

// Makes `w` the control of `impl`, a child of parent at rect.
BOOL AttachControl(WindowImpl* impl, QWidget* w, DWORD style, const RECT& rect, CWnd* parent, UINT id) {
  if (impl->Exists() || !parent || !parent->Impl()->Exists()) {
    delete w;
    return FALSE;
  }
  w->setParent(parent->Impl()->widget);
  impl->Attach(w, WindowKind::Control, parent, static_cast<int>(id), style);
  impl->owner->MoveWindow(&rect, FALSE);
  w->setVisible((style & WS_VISIBLE) != 0);
  return TRUE;
}

}  // namespace gui::detail

namespace {

QComboBox* ComboOf(const CWnd* w) { return qobject_cast<QComboBox*>(w->Impl()->widget.data()); }
QProgressBar* BarOf(const CWnd* w) { return qobject_cast<QProgressBar*>(w->Impl()->widget.data()); }
QAbstractButton* ButtonOf(const CWnd* w) { return qobject_cast<QAbstractButton*>(w->Impl()->widget.data()); }

constexpr int kTextRole = Qt::UserRole + 1;  // the bytes the caller gave

bool IsRadio(DWORD style) { return (style & 0xF) == BS_RADIOBUTTON || (style & 0xF) == BS_AUTORADIOBUTTON; }

// Radio buttons on this platform: an automatic one is marked by a click and unmarks its sibling
// automatic radios; a plain one keeps its mark and leaves it to the owner.
void RadioClicked(WindowImpl* impl, QAbstractButton* button, bool checkedNow) {
  if ((impl->style & 0xF) == BS_AUTORADIOBUTTON) {
    button->setChecked(true);
    for (WindowImpl* sibling : gui::detail::ChildrenOf(impl->parent)) {
      if (sibling == impl || (sibling->style & 0xF) != BS_AUTORADIOBUTTON) continue;
      if (auto* other = qobject_cast<QRadioButton*>(sibling->widget.data())) other->setChecked(false);
    }
  } else {
    button->setChecked(!checkedNow);  // Qt toggled it; a plain radio button does not
  }
}

void ApplyProgressColours(QProgressBar* bar) {
  COLORREF fg = bar->property("vqBar").isValid() ? bar->property("vqBar").toUInt() : RGB(0, 120, 215);
  COLORREF bg = bar->property("vqBk").isValid() ? bar->property("vqBk").toUInt() : RGB(230, 230, 230);
  bar->setStyleSheet(QStringLiteral("QProgressBar { border: 1px solid rgb(128,128,128); background: rgb(%1,%2,%3); }"
                                    "QProgressBar::chunk { background: rgb(%4,%5,%6); }")
                         .arg(GetRValue(bg)).arg(GetGValue(bg)).arg(GetBValue(bg))
                         .arg(GetRValue(fg)).arg(GetGValue(fg)).arg(GetBValue(fg)));
}

}  // namespace

BOOL CButton::Create(std::string_view caption, DWORD dwStyle, const RECT& rect, CWnd* pParentWnd, UINT nID) {
  WindowImpl* impl = Impl();
  QAbstractButton* button = nullptr;
  if (IsRadio(dwStyle)) {
    auto* radio = new QRadioButton;
    radio->setAutoExclusive(false);
    button = radio;
  } else {
    auto* push = new QPushButton;
    push->setAutoDefault(false);
    button = push;
  }
  button->setText(gui::detail::FromUtf8(caption));
  QObject::connect(button, &QAbstractButton::clicked, button, [impl, button](bool checked) {
    if (IsRadio(impl->style)) RadioClicked(impl, button, checked);
    gui::detail::Notify(impl, BN_CLICKED);
  });
  return gui::detail::AttachControl(impl, button, dwStyle, rect, pParentWnd, nID);
}

void CButton::SetCheck(UINT nCheck) {
  if (QAbstractButton* b = ButtonOf(this)) {
    b->setCheckable(true);
    b->setChecked(nCheck == BST_CHECKED);
  }
}

UINT CButton::GetCheck() const {
  QAbstractButton* b = ButtonOf(this);
  return b && b->isChecked() ? BST_CHECKED : BST_UNCHECKED;
}

BOOL CComboBox::Create(DWORD dwStyle, const RECT& rect, CWnd* pParentWnd, UINT nID) {
  WindowImpl* impl = Impl();
  auto* combo = new QComboBox;
  combo->setEditable(false);
  QObject::connect(combo, &QComboBox::activated, combo, [impl](int) { gui::detail::Notify(impl, CBN_SELCHANGE); });
  return gui::detail::AttachControl(impl, combo, dwStyle, rect, pParentWnd, nID);
}

int CComboBox::AddString(std::string_view text) {
  QComboBox* combo = ComboOf(this);
  if (!combo) return CB_ERR;
  QString shown = gui::detail::DecodeText(text, gui::detail::CharSetOf(GetFont()));
  int index = combo->count();
  if (Impl()->style & CBS_SORT) {
    for (int i = 0; i < combo->count(); ++i) {
      if (shown.compare(combo->itemText(i), Qt::CaseInsensitive) < 0) {
        index = i;
        break;
      }
    }
  }
  combo->insertItem(index, shown);
  combo->setItemData(index, QByteArray(text.data(), static_cast<qsizetype>(text.size())), kTextRole);
  if (combo->count() == 1) combo->setCurrentIndex(-1);  // adding selects nothing
  return index;
}

void CComboBox::ResetContent() {
  if (QComboBox* combo = ComboOf(this)) combo->clear();
}

int CComboBox::GetCount() const {
  QComboBox* combo = ComboOf(this);
  return combo ? combo->count() : CB_ERR;
}

int CComboBox::GetCurSel() const {
  QComboBox* combo = ComboOf(this);
  return combo && combo->currentIndex() >= 0 ? combo->currentIndex() : CB_ERR;
}

int CComboBox::SetCurSel(int nSelect) {
  QComboBox* combo = ComboOf(this);
  if (!combo) return CB_ERR;
  if (nSelect < 0 || nSelect >= combo->count()) {
    combo->setCurrentIndex(-1);
    return CB_ERR;
  }
  combo->setCurrentIndex(nSelect);
  return nSelect;
}

int CComboBox::FindString(int nStartAfter, std::string_view prefix) const {
  QComboBox* combo = ComboOf(this);
  if (!combo || combo->count() == 0) return CB_ERR;
  QString wanted = gui::detail::DecodeText(prefix, gui::detail::CharSetOf(GetFont()));
  int n = combo->count();
  int start = nStartAfter < 0 || nStartAfter >= n ? 0 : nStartAfter + 1;
  for (int k = 0; k < n; ++k) {
    int i = (start + k) % n;
    if (combo->itemText(i).startsWith(wanted, Qt::CaseInsensitive)) return i;
  }
  return CB_ERR;
}

int CComboBox::SelectString(int nStartAfter, std::string_view prefix) {
  int index = FindString(nStartAfter, prefix);
  if (index != CB_ERR) SetCurSel(index);
  return index;
}

int CComboBox::GetLBText(int nIndex, std::string& text) const {
  QComboBox* combo = ComboOf(this);
  if (!combo || nIndex < 0 || nIndex >= combo->count()) return CB_ERR;
  QByteArray bytes = combo->itemData(nIndex, kTextRole).toByteArray();
  text.assign(bytes.constData(), static_cast<std::size_t>(bytes.size()));
  return static_cast<int>(text.size());
}

int CComboBox::GetLBText(int nIndex, char* buffer, int size) const {
  std::string text;
  if (!buffer || size <= 0 || GetLBText(nIndex, text) == CB_ERR) return CB_ERR;
  std::size_t n = std::min(text.size(), static_cast<std::size_t>(size - 1));
  std::memcpy(buffer, text.data(), n);
  buffer[n] = '\0';
  return static_cast<int>(n);
}

int CComboBox::GetLBTextLen(int nIndex) const {
  std::string text;
  return GetLBText(nIndex, text);
}

BOOL CProgressCtrl::Create(DWORD dwStyle, const RECT& rect, CWnd* pParentWnd, UINT nID) {
  auto* bar = new QProgressBar;
  bar->setTextVisible(false);
  bar->setRange(0, 100);
  bar->setValue(0);
  ApplyProgressColours(bar);
  return gui::detail::AttachControl(Impl(), bar, dwStyle, rect, pParentWnd, nID);
}

void CProgressCtrl::SetRange(short nLower, short nUpper) { SetRange32(nLower, nUpper); }

void CProgressCtrl::SetRange32(int nLower, int nUpper) {
  if (QProgressBar* bar = BarOf(this)) {
    int pos = bar->value();
    bar->setRange(nLower, std::max(nLower, nUpper));
    bar->setValue(std::clamp(pos, bar->minimum(), bar->maximum()));
  }
}

void CProgressCtrl::GetRange(int& nLower, int& nUpper) const {
  QProgressBar* bar = BarOf(this);
  nLower = bar ? bar->minimum() : 0;
  nUpper = bar ? bar->maximum() : 0;
}

int CProgressCtrl::SetPos(int nPos) {
  QProgressBar* bar = BarOf(this);
  if (!bar) return 0;
  int before = bar->value();
  bar->setValue(std::clamp(nPos, bar->minimum(), bar->maximum()));
  return before;
}

int CProgressCtrl::GetPos() const {
  QProgressBar* bar = BarOf(this);
  return bar ? bar->value() : 0;
}

COLORREF CProgressCtrl::SetBarColor(COLORREF color) {
  QProgressBar* bar = BarOf(this);
  if (!bar) return 0;
  COLORREF before = bar->property("vqBar").toUInt();
  bar->setProperty("vqBar", static_cast<uint>(color));
  ApplyProgressColours(bar);
  return before;
}

COLORREF CProgressCtrl::SetBkColor(COLORREF color) {
  QProgressBar* bar = BarOf(this);
  if (!bar) return 0;
  COLORREF before = bar->property("vqBk").toUInt();
  bar->setProperty("vqBk", static_cast<uint>(color));
  ApplyProgressColours(bar);
  return before;
}

namespace {

QList<QLabel*> PanesOf(const CWnd* w) {
  QWidget* bar = w->Impl()->widget;
  return bar ? bar->findChildren<QLabel*>(QString(), Qt::FindDirectChildrenOnly) : QList<QLabel*>{};
}

}  // namespace

BOOL CStatusBar::Create(CWnd* pParentWnd, DWORD dwStyle, UINT nID) {
  auto* bar = new QWidget;
  auto* layout = new QHBoxLayout(bar);
  layout->setContentsMargins(2, 2, 2, 2);
  layout->setSpacing(2);
  layout->addStretch(1);
  bar->setFixedHeight(bar->fontMetrics().height() + 8);
  CRect rect(0, 0, 100, bar->fontMetrics().height() + 8);
  if (!gui::detail::AttachControl(Impl(), bar, dwStyle, rect, pParentWnd, nID)) return FALSE;
  if (auto* frame = dynamic_cast<CFrameWnd*>(pParentWnd)) {
    frame->m_pStatusBar = this;
    frame->RecalcLayout();
  }
  return TRUE;
}

BOOL CStatusBar::SetIndicators(const UINT* lpIDArray, int nIDCount) {
  QWidget* bar = Impl()->widget;
  if (!bar || !lpIDArray || nIDCount <= 0) return FALSE;
  for (QLabel* pane : PanesOf(this)) delete pane;
  auto* layout = static_cast<QHBoxLayout*>(bar->layout());
  for (int i = 0; i < nIDCount; ++i) {
    auto* pane = new QLabel(bar);
    pane->setFrameStyle(QFrame::Panel | QFrame::Sunken);
    pane->setProperty("vqPaneId", lpIDArray[i]);
    layout->insertWidget(i, pane);
  }
  return TRUE;
}

int CStatusBar::CommandToIndex(UINT nIDFind) const {
  QList<QLabel*> panes = PanesOf(this);
  for (int i = 0; i < panes.size(); ++i)
    if (panes[i]->property("vqPaneId").toUInt() == nIDFind) return i;
  return -1;
}

BOOL CStatusBar::SetPaneText(int nIndex, std::string_view text, BOOL bUpdate) {
  QList<QLabel*> panes = PanesOf(this);
  if (nIndex < 0 || nIndex >= panes.size()) return FALSE;
  panes[nIndex]->setText(gui::detail::FromUtf8(text));
  Impl()->widget->layout()->activate();  // the pane takes its text's width now
  if (bUpdate) Impl()->widget->repaint();
  return TRUE;
}

std::string CStatusBar::GetPaneText(int nIndex) const {
  QList<QLabel*> panes = PanesOf(this);
  return nIndex >= 0 && nIndex < panes.size() ? panes[nIndex]->text().toStdString() : std::string();
}

int CStatusBar::GetPaneCount() const { return static_cast<int>(PanesOf(this).size()); }
