#include <string>
#include <vector>

#include "app/tessary_app.h"
#include "common/text_conv.h"

wxIMPLEMENT_APP_NO_MAIN(CTessaryAuthorApp);

int main(int argc, char** argv) {
  wxDISABLE_DEBUG_SUPPORT();
  // The arguments are file names: converted here, they keep their bytes whatever the locale
  // (the toolkit would take them in the locale's encoding, and drop those it cannot).
  std::vector<std::wstring> args;
  for (int i = 0; i < argc; ++i) args.push_back(FromSystemPath(argv[i]).ToStdWstring());
  std::vector<wchar_t*> wide;
  for (std::wstring& arg : args) wide.push_back(arg.data());
  wide.push_back(nullptr);
  return wxEntry(argc, wide.data());
}
