// Modal dialogs and the controls of dialog templates (shared with form views).
#include "platform/gui/dialog.h"

#include <QDialog>
#include <QTimer>

#include "platform/gui/controls.h"
#include "platform/gui/docview.h"
#include "platform/gui/resources.h"
#include "platform/gui/surface.h"
#include "platform/gui/window_impl.h"

using gui::DialogControl;
using gui::detail::Surface;
using gui::detail::WindowImpl;
using gui::detail::WindowKind;

namespace gui::detail {
namespace {

std::function<void(CDialog&)>& ModalHook() {
  static std::function<void(CDialog&)> hook;
  return hook;
}

QFont TemplateFont(const DialogTemplate& t) {
  // The template font's cell is about as high as its vertical base units.
  FontSpec request;
  request.face = t.fontFace == "MS Sans Serif" ? "Arial" : t.fontFace;
  request.height = -(DialogBaseUnits(t.fontFace, t.fontPointSize).cy - 2);
  CFont font;
  font.CreateFont(request);
  return QtFontOf(&font);
}

std::unique_ptr<CWnd> MakeControl(CWnd* host, const DialogControl& c, const DialogTemplate& t) {
  CRect r = MapDialogRect(t, CRect(c.x, c.y, c.x + c.cx, c.y + c.cy));
  DWORD visible = c.visible ? WS_VISIBLE : 0;
  DWORD style = WS_CHILD | visible | c.style;
  UINT id = static_cast<UINT>(c.id);
  switch (c.kind) {
    case DialogControl::Kind::PushButton:
    case DialogControl::Kind::DefPushButton:
    case DialogControl::Kind::RadioButton:
    case DialogControl::Kind::AutoRadioButton: {
      DWORD kind = c.kind == DialogControl::Kind::PushButton      ? BS_PUSHBUTTON
                   : c.kind == DialogControl::Kind::DefPushButton ? BS_DEFPUSHBUTTON
                   : c.kind == DialogControl::Kind::RadioButton   ? BS_RADIOBUTTON
                                                                  : BS_AUTORADIOBUTTON;
      auto button = std::make_unique<CButton>();
      if (!button->Create(c.text, (style & ~0xFu) | kind, r, host, id)) return nullptr;
      return button;
    }
    case DialogControl::Kind::Progress: {
      auto bar = std::make_unique<CProgressCtrl>();
      if (!bar->Create(style, r, host, id)) return nullptr;
      return bar;
    }
    case DialogControl::Kind::ComboBox: {
      auto combo = std::make_unique<CComboBox>();
      if (!combo->Create(style | CBS_DROPDOWNLIST, r, host, id)) return nullptr;
      return combo;
    }
  }
  return nullptr;
}

}  // namespace

void SetModalHook(std::function<void(CDialog&)> hook) { ModalHook() = std::move(hook); }

std::function<void(CDialog&)> TakeModalHook() {
  auto hook = std::move(ModalHook());
  ModalHook() = nullptr;
  return hook;
}

void CreateTemplateControls(CWnd* host, const DialogTemplate& t) {
  QFont font = TemplateFont(t);
  host->Impl()->widget->setFont(font);
  for (const DialogControl& c : t.controls) {
    auto control = MakeControl(host, c, t);
    if (!control) continue;
    control->Impl()->widget->setFont(font);
    host->Impl()->templateControls[c.id] = std::move(control);
  }
}

}  // namespace gui::detail

CDialog::CDialog(UINT nIDTemplate, CWnd* pParentWnd) : m_nIDTemplate(nIDTemplate), m_pParentWnd(pParentWnd) {}

CDialog::~CDialog() = default;

INT_PTR CDialog::DoModal() {
  const gui::DialogTemplate* t = gui::FindDialogTemplate(static_cast<int>(m_nIDTemplate));
  if (!t || Impl()->Exists()) return -1;
  CWnd* owner = m_pParentWnd ? m_pParentWnd : AfxGetMainWnd();
  QWidget* ownerWidget = owner && owner->Impl()->Exists() ? owner->Impl()->TopLevel() : nullptr;
  auto* w = new Surface<QDialog>(Impl(), ownerWidget,
                                 Qt::Dialog | Qt::CustomizeWindowHint | Qt::WindowTitleHint |
                                     Qt::WindowSystemMenuHint | Qt::WindowCloseButtonHint);
  w->dialogKeys = true;
  w->setModal(true);
  w->setWindowTitle(gui::detail::FromUtf8(t->caption));
  CRect client = gui::MapDialogRect(*t, CRect(t->x, t->y, t->x + t->cx, t->y + t->cy));
  w->setFixedSize(client.Width(), client.Height());
  Impl()->Attach(w, WindowKind::Surface, owner, 0, WS_POPUP | WS_CAPTION | WS_SYSMENU);
  gui::detail::CreateTemplateControls(this, *t);
  if (ownerWidget) {  // centred on the owner
    QRect o = ownerWidget->frameGeometry();
    w->move(o.center() - QPoint(w->width() / 2, w->height() / 2));
  }
  SendMessage(WM_INITDIALOG);
  int result = IDCANCEL;
  if (Impl()->Exists() && !w->property("vqResult").isValid()) {
    SendMessage(WM_SHOWWINDOW, TRUE, 0);
    if (auto hook = gui::detail::TakeModalHook()) QTimer::singleShot(0, w, [this, hook] { hook(*this); });
    if (!w->property("vqResult").isValid()) w->exec();
  }
  if (Impl()->Exists() && w->property("vqResult").isValid()) result = w->property("vqResult").toInt();
  // The window goes with the modal run; the object stays for the caller.
  Impl()->Destroy(false);
  return result;
}

void CDialog::EndDialog(int nResult) {
  if (auto* dialog = qobject_cast<QDialog*>(Impl()->widget.data())) {
    dialog->setProperty("vqResult", nResult);  // also ends a run that has not started its loop
    dialog->done(nResult);
  }
}

BOOL CDialog::OnInitDialog() {
  UpdateData(FALSE);
  return TRUE;
}

void CDialog::OnOK() {
  UpdateData(TRUE);
  EndDialog(IDOK);
}

void CDialog::OnCancel() { EndDialog(IDCANCEL); }

BOOL CDialog::OnCommand(WPARAM wParam, LPARAM) {
  switch (LOWORD(wParam)) {
    case IDOK: OnOK(); return TRUE;
    case IDCANCEL: OnCancel(); return TRUE;
    default: return FALSE;
  }
}

void CDialog::OnClose() { OnCancel(); }

LRESULT CDialog::WindowProc(UINT message, WPARAM wParam, LPARAM lParam) {
  if (message == WM_INITDIALOG) return OnInitDialog();
  return CWnd::WindowProc(message, wParam, lParam);
}
