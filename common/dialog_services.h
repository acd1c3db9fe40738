// File dialogs and modal dialogs behind a service, so that tests answer them without a person.
#pragma once

#include <string>

#include <wx/arrstr.h>
#include <wx/string.h>

class wxDialog;
class wxWindow;

struct FileDialogRequest {
  wxWindow* parent = nullptr;
  wxString title;
  std::string filter;  // "Name|pattern|Name|pattern||", as the system writes filters
  wxString directory;  // where the dialog starts; empty for the toolkit's choice
  wxString fileName;   // proposed name
  bool save = false;   // a Save dialog, which asks before overwriting
  bool multiple = false;

  // The Open dialog, and the Save As dialog; each starts in directory.
  static FileDialogRequest Open(wxWindow* parent, std::string filter, wxString directory, bool multiple = false);
  static FileDialogRequest SaveAs(wxWindow* parent, std::string filter, wxString directory, wxString fileName = {});
};

class IDialogServices {
 public:
  virtual ~IDialogServices() = default;
  // Fills paths with the chosen files (full paths); false when the user cancelled.
  virtual bool ChooseFiles(const FileDialogRequest& request, wxArrayString& paths) = 0;
  // Lets the user pick a folder, starting at start; false when the user cancelled.
  virtual bool ChooseFolder(wxWindow* parent, const wxString& title, const wxString& start, wxString& folder) = 0;
  // Runs dialog modally and returns its result code (wxID_OK, wxID_CANCEL, ...).
  virtual int ShowModal(wxDialog& dialog) = 0;
};

// nullptr restores the real dialogs.
void SetDialogServices(IDialogServices* services);
IDialogServices& GetDialogServices();

// The toolkit's form of a filter: the system's form without its closing "||", its patterns made
// to match letters in either case ("*.sr" as "*.[sS][rR]"); the names shown stay as they are.
wxString ToWxFilter(const std::string& filter);
