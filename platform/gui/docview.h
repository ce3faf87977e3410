// The document/view application: CWinApp, CDocument, CSingleDocTemplate, CFrameWnd, CView,
// CFormView.
//
// What an application writes:
//
//   class CQ17App : public CWinApp { BOOL InitInstance() override; };
//   CQ17App theApp;                       // one object, constructed at program load
//   // link the target platform_gui_main: its main() runs theApp (AfxWinMain)
//
//   BOOL CQ17App::InitInstance() {
//     AddDocTemplate(CSingleDocTemplate::Make<CQ17Doc, CMainFrame, CQ17View>(128));
//     if (!OnFileNew()) return FALSE;     // document, frame and view now exist
//     m_pMainWnd->ShowWindow(SW_SHOW);
//     m_pMainWnd->UpdateWindow();
//     return TRUE;
//   }
//
// OnFileNew runs, in order: the document's OnNewDocument; the frame's PreCreateWindow (style
// WS_OVERLAPPEDWINDOW | FWS_ADDTOTITLE, position CW_USEDEFAULT), its creation with the style and
// title it left, its WM_CREATE (CFrameWnd::OnCreate creates the view as child AFX_IDW_PANE_FIRST:
// the view's WM_CREATE, its template controls (CFormView), then WM_SHOWWINDOW(TRUE) to the view);
// the frame's RecalcLayout; the view's OnInitialUpdate; the frame's ActivateFrame(-1). The frame
// becomes m_pMainWnd. Then the message loop runs until the main window is destroyed.
//
// The frame has no menu. Profile storage, recent-file lists and the 3-D control look have no
// counterpart here and are not offered.
#pragma once

#include <functional>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "platform/gui/controls.h"
#include "platform/gui/wnd.h"

class CFrameWnd;
class CView;
class CDocTemplate;

class CDocument {
 public:
  virtual ~CDocument() = default;
  virtual BOOL OnNewDocument() { return TRUE; }
};

class CWinApp {
 public:
  // Registers the one application object; construct it at program load, before main. (A test
  // may construct another for a while: its destruction gives the place back to the one before.)
  CWinApp();
  virtual ~CWinApp();
  CWinApp(const CWinApp&) = delete;
  CWinApp& operator=(const CWinApp&) = delete;

  // FALSE ends the program at once (exit code 0, no message loop).
  virtual BOOL InitInstance();
  // After the message loop; the result is the process's exit code.
  virtual int ExitInstance();

  // Session guard: asked on the window thread about every 250 ms. While it answers true the layer
  // holds a systemd-logind inhibitor lock (sleep, shutdown) where the system bus allows one; the
  // outcome is reported through OnPlatformNotice.
  virtual bool IsInProtectedState() const { return false; }
  // Notices of the layer (inhibitor taken or unavailable...). Default: written to stderr.
  virtual void OnPlatformNotice(std::string_view text);

  void AddDocTemplate(std::unique_ptr<CDocTemplate> pTemplate);
  // Creates document, frame and view with the first template (see the top of this file).
  BOOL OnFileNew();

  // Cursor resource nID (registered with gui::RegisterCursor); nullptr when absent.
  HCURSOR LoadCursor(int nID) const;
  HCURSOR LoadStandardCursor(int nIDCursor) const;  // IDC_ARROW, IDC_WAIT, IDC_HAND

  CWnd* m_pMainWnd = nullptr;
  int m_nCmdShow = SW_SHOWNORMAL;

  // Runs the application: InitInstance, the message loop, ExitInstance. Called by AfxWinMain.
  int Run(int argc, char** argv);

 private:
  std::vector<std::unique_ptr<CDocTemplate>> m_templates;
  CWinApp* m_pPreviousApp;
};

CWinApp* AfxGetApp();
CWnd* AfxGetMainWnd();
// Creates the Qt application and runs the registered CWinApp; returns the exit code.
int AfxWinMain(int argc, char** argv);

class CDocTemplate {
 public:
  virtual ~CDocTemplate();
  // Creates a document with frame and view; FALSE when a step fails (nothing is left behind).
  virtual BOOL OpenNewDocument() = 0;
  UINT GetResourceId() const { return m_nIDResource; }

 protected:
  explicit CDocTemplate(UINT nIDResource) : m_nIDResource(nIDResource) {}
  UINT m_nIDResource;
};

class CSingleDocTemplate : public CDocTemplate {
 public:
  using DocumentFactory = std::function<std::unique_ptr<CDocument>()>;
  using FrameFactory = std::function<std::unique_ptr<CFrameWnd>()>;
  using ViewFactory = std::function<std::unique_ptr<CView>()>;

  CSingleDocTemplate(UINT nIDResource, DocumentFactory newDocument, FrameFactory newFrame,
                     ViewFactory newView);
  ~CSingleDocTemplate() override;

  template <class Doc, class Frame, class View>
  static std::unique_ptr<CSingleDocTemplate> Make(UINT nIDResource) {
    return std::make_unique<CSingleDocTemplate>(
        nIDResource, [] { return std::unique_ptr<CDocument>(new Doc); },
        [] { return std::unique_ptr<CFrameWnd>(new Frame); },
        [] { return std::unique_ptr<CView>(new View); });
  }

  BOOL OpenNewDocument() override;
  CDocument* GetDocument() const { return m_document.get(); }
  CFrameWnd* GetFrame() const { return m_frame.get(); }

 private:
  DocumentFactory m_newDocument;
  FrameFactory m_newFrame;
  ViewFactory m_newView;
  std::unique_ptr<CDocument> m_document;
  std::unique_ptr<CFrameWnd> m_frame;
};

class CFrameWnd : public CWnd {
 public:
  CFrameWnd();
  ~CFrameWnd() override;

  // Creates the frame window (PreCreateWindow, WM_CREATE) with the view the factory makes.
  // Used by CSingleDocTemplate; FALSE when PreCreateWindow or OnCreate fails.
  BOOL LoadFrame(CDocument* pDocument, std::function<std::unique_ptr<CView>()> newView);

  // The style and title of the window. Default: TRUE, unchanged.
  virtual BOOL PreCreateWindow(CREATESTRUCT& cs);
  // Shows the frame: nCmdShow -1 shows it normally when hidden, restores it when minimised.
  virtual void ActivateFrame(int nCmdShow = -1);
  // Lays out the status bar (bottom, full width) and the view (the rest of the client area).
  void RecalcLayout();
  // The view's window, the status bar (nullptr until created).
  CView* GetActiveView() const { return m_pView; }
  CStatusBar* GetMessageBar() const;

 protected:
  // Default: creates the view (its WM_CREATE, controls and WM_SHOWWINDOW). 0 or -1.
  int OnCreate(LPCREATESTRUCT lpCreateStruct) override;
  void OnClose() override;  // default: destroys the window, which ends the application
  BOOL OnQueryEndSession() override;

 private:
  friend class CStatusBar;
  CDocument* m_pDocument = nullptr;
  std::function<std::unique_ptr<CView>()> m_newView;
  std::unique_ptr<CView> m_view;
  CView* m_pView = nullptr;
  CStatusBar* m_pStatusBar = nullptr;
};

class CView : public CWnd {
 public:
  CDocument* GetDocument() const { return m_pDocument; }
  // After the frame and view exist, before the frame is shown. Default: nothing.
  virtual void OnInitialUpdate();

 protected:
  // Draws the view; called by OnPaint with a CPaintDC.
  virtual void OnDraw(CDC* pDC) = 0;
  void OnPaint() override;

 private:
  friend class CFrameWnd;
  virtual BOOL CreateView(CFrameWnd* pFrame);
  CDocument* m_pDocument = nullptr;
};

// A view laid out by a dialog template: its controls are created from the template (dialog units
// converted with the MS Sans Serif 8 base units, 6 x 13) and reached by id. Enter anywhere in the
// view sends the template's BS_DEFPUSHBUTTON button's id as WM_COMMAND(id, BN_CLICKED), even when
// that button is hidden.
class CFormView : public CView {
 public:
  explicit CFormView(UINT nIDTemplate);
  // Default: UpdateData(FALSE) (DoDataExchange binds the members).
  void OnInitialUpdate() override;
  // Shrinks (or, bShrinkOnly FALSE, also grows) the parent frame so that its view area fits the
  // template's size.
  void ResizeParentToFit(BOOL bShrinkOnly = TRUE);
  UINT GetTemplateId() const { return m_nIDTemplate; }

 protected:
  void OnDraw(CDC* pDC) override;  // default: nothing (the controls draw themselves)

 private:
  BOOL CreateView(CFrameWnd* pFrame) override;
  UINT m_nIDTemplate;
};
