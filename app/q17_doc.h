// CQ17Doc: the document of the single-document frame. It carries no data; the wizard's state
// lives in its shared values (app/wizard_globals.h).
#pragma once

#include "platform/gui/docview.h"

class CQ17Doc : public CDocument {
 public:
  BOOL OnNewDocument() override { return CDocument::OnNewDocument(); }
};
