// The application object, the single-document template, the frame, views and form views.
#include "platform/gui/docview.h"

#include <QApplication>

#include <cstdio>

#include "platform/gui/resources.h"
#include "platform/gui/surface.h"
#include "platform/gui/window_impl.h"

using gui::detail::Surface;
using gui::detail::WindowImpl;
using gui::detail::WindowKind;

namespace gui::detail {
void CreateTemplateControls(CWnd* host, const DialogTemplate& dialogTemplate);
std::shared_ptr<void> StartSessionGuard(CWinApp* app);
}  // namespace gui::detail

namespace {
CWinApp* g_pApp = nullptr;
}

CWinApp::CWinApp() : m_pPreviousApp(g_pApp) { g_pApp = this; }

CWinApp::~CWinApp() {
  if (g_pApp == this) g_pApp = m_pPreviousApp;
}

BOOL CWinApp::InitInstance() { return TRUE; }
int CWinApp::ExitInstance() { return 0; }

void CWinApp::OnPlatformNotice(std::string_view text) {
  std::fprintf(stderr, "vqupdate: %.*s\n", static_cast<int>(text.size()), text.data());
}

void CWinApp::AddDocTemplate(std::unique_ptr<CDocTemplate> pTemplate) {
  if (pTemplate) m_templates.push_back(std::move(pTemplate));
}

BOOL CWinApp::OnFileNew() {
  if (m_templates.empty() || !m_templates.front()->OpenNewDocument()) return FALSE;
  if (auto* single = dynamic_cast<CSingleDocTemplate*>(m_templates.front().get())) m_pMainWnd = single->GetFrame();
  return m_pMainWnd != nullptr;
}

int CWinApp::Run(int argc, char** argv) {
  std::unique_ptr<QApplication> qtApp;
  if (!QCoreApplication::instance()) qtApp = std::make_unique<QApplication>(argc, argv);
  QGuiApplication::setQuitOnLastWindowClosed(false);
  gui::detail::StartInstanceServers();
  auto guard = gui::detail::StartSessionGuard(this);
  if (InitInstance() && m_pMainWnd && m_pMainWnd->GetSafeHwnd()) QApplication::exec();
  int code = ExitInstance();
  guard.reset();
  m_pMainWnd = nullptr;
  m_templates.clear();  // documents, frames and views go before the Qt application
  gui::detail::StopInstanceServers();
  return code;
}

CWinApp* AfxGetApp() { return g_pApp; }
CWnd* AfxGetMainWnd() { return g_pApp ? g_pApp->m_pMainWnd : nullptr; }

int AfxWinMain(int argc, char** argv) {
  CWinApp* app = AfxGetApp();
  if (!app) {
    std::fprintf(stderr, "vqupdate: no application object\n");
    return 1;
  }
  return app->Run(argc, argv);
}

CDocTemplate::~CDocTemplate() = default;

CSingleDocTemplate::CSingleDocTemplate(UINT nIDResource, DocumentFactory newDocument, FrameFactory newFrame,
                                       ViewFactory newView)
    : CDocTemplate(nIDResource),
      m_newDocument(std::move(newDocument)),
      m_newFrame(std::move(newFrame)),
      m_newView(std::move(newView)) {}

CSingleDocTemplate::~CSingleDocTemplate() {
  m_frame.reset();  // the view refers to the document
  m_document.reset();
}

BOOL CSingleDocTemplate::OpenNewDocument() {
  if (m_frame) return FALSE;  // one document at a time
  auto document = m_newDocument();
  if (!document || !document->OnNewDocument()) return FALSE;
  auto frame = m_newFrame();
  if (!frame || !frame->LoadFrame(document.get(), m_newView)) return FALSE;
  m_document = std::move(document);
  m_frame = std::move(frame);
  m_frame->RecalcLayout();
  if (CView* view = m_frame->GetActiveView()) view->OnInitialUpdate();
  m_frame->ActivateFrame(-1);
  return TRUE;
}

CFrameWnd::CFrameWnd() = default;

CFrameWnd::~CFrameWnd() {
  m_pView = nullptr;
  m_view.reset();  // the view's widget is a child of the frame's
}

BOOL CFrameWnd::LoadFrame(CDocument* pDocument, std::function<std::unique_ptr<CView>()> newView) {
  m_pDocument = pDocument;
  m_newView = std::move(newView);
  CREATESTRUCT cs;
  cs.style = WS_OVERLAPPEDWINDOW | FWS_ADDTOTITLE;
  cs.x = cs.y = cs.cx = cs.cy = CW_USEDEFAULT;
  if (!PreCreateWindow(cs)) return FALSE;

  Qt::WindowFlags flags = Qt::Window | Qt::CustomizeWindowHint | Qt::WindowTitleHint;
  if (cs.style & WS_SYSMENU) flags |= Qt::WindowSystemMenuHint | Qt::WindowCloseButtonHint;
  if (cs.style & WS_MINIMIZEBOX) flags |= Qt::WindowMinimizeButtonHint;
  if (cs.style & WS_MAXIMIZEBOX) flags |= Qt::WindowMaximizeButtonHint;
  auto* w = new Surface<QWidget>(Impl(), nullptr, flags);
  w->setWindowTitle(gui::detail::FromUtf8(cs.lpszName));
  w->resize(cs.cx == CW_USEDEFAULT ? 640 : cs.cx, cs.cy == CW_USEDEFAULT ? 480 : cs.cy);
  if (cs.x != CW_USEDEFAULT && cs.y != CW_USEDEFAULT) w->move(cs.x, cs.y);
  if (!(cs.style & WS_THICKFRAME)) w->setFixedSize(w->size());
  Impl()->Attach(w, WindowKind::Surface, nullptr, 0, cs.style);
  Impl()->onResized = [this] { RecalcLayout(); };
  if (SendMessage(WM_CREATE, 0, reinterpret_cast<LPARAM>(&cs)) == -1) {
    m_pView = nullptr;
    m_view.reset();
    Impl()->Destroy(false);
    return FALSE;
  }
  return TRUE;
}

BOOL CFrameWnd::PreCreateWindow(CREATESTRUCT&) { return TRUE; }

int CFrameWnd::OnCreate(LPCREATESTRUCT) {
  if (!m_newView) return 0;
  m_view = m_newView();
  if (!m_view) return -1;
  m_view->m_pDocument = m_pDocument;
  if (!m_view->CreateView(this)) {
    m_view.reset();
    return -1;
  }
  m_pView = m_view.get();
  return 0;
}

void CFrameWnd::ActivateFrame(int nCmdShow) {
  if (nCmdShow == -1) {
    if (!IsWindowVisible()) nCmdShow = SW_SHOWNORMAL;
    else if (IsIconic()) nCmdShow = SW_RESTORE;
  }
  if (nCmdShow != -1) ShowWindow(nCmdShow);
  if (m_pView && m_pView->Impl()->Exists()) m_pView->Impl()->widget->setFocus();
}

void CFrameWnd::RecalcLayout() {
  if (!Impl()->Exists()) return;
  QWidget* w = Impl()->widget;
  int height = w->height();
  if (m_pStatusBar && m_pStatusBar->Impl()->Exists()) {
    QWidget* bar = m_pStatusBar->Impl()->widget;
    int h = bar->height();
    bar->setGeometry(0, height - h, w->width(), h);
    if (!bar->isHidden()) height -= h;
  }
  if (m_pView && m_pView->Impl()->Exists()) m_pView->Impl()->widget->setGeometry(0, 0, w->width(), std::max(0, height));
}

CStatusBar* CFrameWnd::GetMessageBar() const { return m_pStatusBar; }

void CFrameWnd::OnClose() { DestroyWindow(); }
BOOL CFrameWnd::OnQueryEndSession() { return TRUE; }

void CView::OnInitialUpdate() {}

void CView::OnPaint() {
  CPaintDC dc(this);
  OnDraw(&dc);
}

BOOL CView::CreateView(CFrameWnd* pFrame) {
  auto* w = new Surface<QWidget>(Impl(), pFrame->Impl()->widget.data());
  Impl()->Attach(w, WindowKind::Surface, pFrame, static_cast<int>(AFX_IDW_PANE_FIRST), WS_CHILD | WS_VISIBLE);
  CREATESTRUCT cs;
  cs.style = WS_CHILD | WS_VISIBLE;
  cs.hwndParent = pFrame;
  if (SendMessage(WM_CREATE, 0, reinterpret_cast<LPARAM>(&cs)) == -1) {
    Impl()->Destroy(false);
    return FALSE;
  }
  w->show();
  SendMessage(WM_SHOWWINDOW, TRUE, 0);
  return TRUE;
}

CFormView::CFormView(UINT nIDTemplate) : m_nIDTemplate(nIDTemplate) {}

void CFormView::OnInitialUpdate() { UpdateData(FALSE); }

void CFormView::OnDraw(CDC*) {}

BOOL CFormView::CreateView(CFrameWnd* pFrame) {
  const gui::DialogTemplate* t = gui::FindDialogTemplate(static_cast<int>(m_nIDTemplate));
  if (!t) return FALSE;
  auto* w = new Surface<QWidget>(Impl(), pFrame->Impl()->widget.data());
  w->dialogKeys = true;
  CRect size = gui::MapDialogRect(*t, CRect(0, 0, t->cx, t->cy));
  w->resize(size.Width(), size.Height());
  Impl()->Attach(w, WindowKind::Surface, pFrame, static_cast<int>(AFX_IDW_PANE_FIRST), WS_CHILD | WS_VISIBLE);
  CREATESTRUCT cs;
  cs.style = WS_CHILD | WS_VISIBLE;
  cs.hwndParent = pFrame;
  if (SendMessage(WM_CREATE, 0, reinterpret_cast<LPARAM>(&cs)) == -1) {
    Impl()->Destroy(false);
    return FALSE;
  }
  gui::detail::CreateTemplateControls(this, *t);
  w->show();
  SendMessage(WM_SHOWWINDOW, TRUE, 0);
  return TRUE;
}

void CFormView::ResizeParentToFit(BOOL bShrinkOnly) {
  CFrameWnd* frame = GetParentFrame();
  const gui::DialogTemplate* t = gui::FindDialogTemplate(static_cast<int>(m_nIDTemplate));
  if (!frame || !t || !Impl()->Exists()) return;
  CRect wanted = gui::MapDialogRect(*t, CRect(0, 0, t->cx, t->cy));
  CRect now;
  GetClientRect(&now);
  int dx = wanted.Width() - now.Width();
  int dy = wanted.Height() - now.Height();
  if (bShrinkOnly) {
    dx = std::min(dx, 0);
    dy = std::min(dy, 0);
  }
  CRect window;
  frame->GetWindowRect(&window);
  frame->SetWindowPos(nullptr, 0, 0, window.Width() + dx, window.Height() + dy, SWP_NOMOVE | SWP_NOZORDER);
  frame->RecalcLayout();
}
