#include "platform/ui_services.h"

#include <cstdio>

#include "platform/string_table.h"

namespace {

class StderrUi final : public IUiServices {
 public:
  int MessageBox(const std::string& text, unsigned style) override {
    std::fprintf(stderr, "%s\n", text.c_str());
    switch (style & MB_TYPEMASK) {
      case MB_YESNO: return IDNO;
      case MB_YESNOCANCEL:
      case MB_OKCANCEL: return IDCANCEL;
      default: return IDOK;
    }
  }
};

StderrUi g_defaultUi;
IUiServices* g_ui = &g_defaultUi;

}  // namespace

void SetUiServices(IUiServices* services) { g_ui = services ? services : &g_defaultUi; }

int AfxMessageBox(const std::string& text, unsigned style) { return g_ui->MessageBox(text, style); }
int AfxMessageBox(unsigned id, unsigned style) { return g_ui->MessageBox(LoadResString(id), style); }

CWaitCursor::CWaitCursor() { g_ui->BeginWaitCursor(); }
CWaitCursor::~CWaitCursor() { g_ui->EndWaitCursor(); }
