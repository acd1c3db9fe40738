// Document handling: the one document template, New, Open, Close, Save, Save As and the four
// recent files, on the system's command ids, with dialogs and messages through the services.
#pragma once

#include <functional>
#include <string>
#include <vector>

#include <wx/docview.h>

class CTessaryDocManager : public wxDocManager {
 public:
  CTessaryDocManager();

  // Names of new documents: the template's document name and a count ("Varnix1").
  wxString MakeNewDocumentName() override;
  wxFileHistory* OnCreateFileHistory() override;
  // A change of the recent files goes to the profile at once, into the list that is there now
  // (another copy of the program may have changed it), and that list is the one shown.
  void AddFileToHistory(const wxString& file) override;
  void RemoveFileFromHistory(size_t i) override;
  // The recent files of the profile; the list shown changes only when another copy of the
  // program changed the stored one.
  void LoadRecentFiles();
  wxDocTemplate* SelectDocumentPath(wxDocTemplate** templates, int noTemplates, wxString& path, long flags,
                                    bool save = false) override;

  // Called after every change of the recent-file list, so the menus can show it.
  void SetHistoryChangedHandler(std::function<void()> handler) { m_onHistoryChanged = std::move(handler); }

  // Opens recent file n (0 for the first).
  void OpenRecentFile(unsigned n);

 protected:
  void OnMRUFileNotExist(unsigned n, const wxString& filename) override;

 private:
  void OnRecentFile(wxCommandEvent& event);
  void OnUpdateRecentFile(wxUpdateUIEvent& event);
  void NotifyHistoryChanged();
  // The list shown, as the file system's names.
  std::vector<std::string> ShownRecentFiles() const;
  // shown is the list to change when the profile cannot be read.
  void ChangeRecentFiles(const std::vector<std::string>& shown,
                         const std::function<std::vector<std::string>(const std::vector<std::string>&)>& change);
  void ShowRecentFiles(const std::vector<std::string>& files);

  std::function<void()> m_onHistoryChanged;
  std::vector<std::string> m_storedRecentFiles;  // the stored list when last read or written
};

// Makes the window of a new view, which ties itself to the view.
using ViewFrameFactory = std::function<void(wxDocument* doc, wxView* view)>;

// Ties the document class, its window and the view: each view gets a new window from makeFrame,
// in which the view then builds its own.
class CTessaryDocTemplate : public wxDocTemplate {
 public:
  CTessaryDocTemplate(wxDocManager* manager, ViewFrameFactory makeFrame, const wxString& description,
                      const wxString& filter, const wxString& ext, const wxString& docTypeName,
                      wxClassInfo* docClassInfo, wxClassInfo* viewClassInfo);

  wxView* CreateView(wxDocument* doc, long flags = 0) override;

 private:
  ViewFrameFactory m_makeFrame;
};
