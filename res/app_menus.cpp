#include "res/app_ids.h"
#include "res/app_resources.h"

namespace res {
namespace {

using K = MenuEntry;

// Kept an entry to a line, as a resource script lists them.
// clang-format off
// The main frame's own menu, shown while no document window is open.
const MenuEntry kMenu128[] = {
    {K::popup, 0, "&File"},
    {K::item, ID_FILE_NEW, "&New\tCtrl+N"},
    {K::item, ID_FILE_OPEN, "&Open...\tCtrl+O"},
    {K::separator, 0, nullptr},
    {K::item, ID_PREFERENCES, "Preferences"},
    {K::separator, 0, nullptr},
    {K::item, ID_FILE_MRU_FILE1, "Recent File"},
    {K::separator, 0, nullptr},
    {K::item, ID_APP_EXIT, "E&xit"},
    {K::popup, 0, "&View"},
    {K::item, ID_VIEW_TOOLBAR, "&Toolbar"},
    {K::item, ID_VIEW_STATUS_BAR, "&Status Bar"},
    {K::popup, 0, "&Help"},
    {K::item, ID_APP_ABOUT, "&About TessaryAuthor..."},
};

// The document menu.
const MenuEntry kMenu129[] = {
    {K::popup, 0, "&File"},
    {K::item, ID_FILE_NEW, "&New\tCtrl+N"},
    {K::item, ID_FILE_OPEN, "&Open...\tCtrl+O"},
    {K::item, ID_FILE_CLOSE, "&Close"},
    {K::item, ID_FILE_SAVE, "&Save\tCtrl+S"},
    {K::item, ID_FILE_SAVE_AS, "Save &As..."},
    {K::separator, 0, nullptr},
    {K::item, ID_PREFERENCES, "Preferences"},
    {K::separator, 0, nullptr},
    {K::item, ID_FILE_MRU_FILE1, "Recent File"},
    {K::separator, 0, nullptr},
    {K::item, ID_APP_EXIT, "E&xit"},
    {K::popup, 0, "&Edit"},
    {K::item, ID_EDIT_UNDO, "&Undo\tCtrl+Z"},
    {K::separator, 0, nullptr},
    {K::item, ID_EDIT_CUT, "Cu&t\tCtrl+X"},
    {K::item, ID_EDIT_COPY, "&Copy\tCtrl+C"},
    {K::item, ID_EDIT_PASTE, "&Paste\tCtrl+V"},
    {K::popup, 0, "&View"},
    {K::item, ID_VIEW_TOOLBAR, "&Toolbar"},
    {K::item, ID_VIEW_STATUS_BAR, "&Status Bar"},
    {K::popup, 0, "&Window"},
    {K::item, ID_WINDOW_NEW, "&New Window"},
    {K::item, ID_WINDOW_CASCADE, "&Cascade"},
    {K::item, ID_WINDOW_TILE_HORZ, "&Tile"},
    {K::item, ID_WINDOW_ARRANGE, "&Arrange Icons"},
    {K::popup, 0, "&Help"},
    {K::item, ID_APP_ABOUT, "&About TessaryAuthor..."},
};

// The target list's popup.
const MenuEntry kMenu135[] = {
    {K::popup, 0, "_POPUP_"},
    {K::item, ID_COPY_TO_CLIPBOARD, "Copy To Clipboard"},
};

const MenuResource kMenus[] = {
    {IDR_MAINFRAME, kMenu128, sizeof kMenu128 / sizeof kMenu128[0]},
    {IDR_TESSARYAUTHORTYPE, kMenu129, sizeof kMenu129 / sizeof kMenu129[0]},
    {IDR_TARGET_LIST_MENU, kMenu135, sizeof kMenu135 / sizeof kMenu135[0]},
};

const AccelEntry kAccel128[] = {
    {FCONTROL, 'N', ID_FILE_NEW},
    {FCONTROL, 'O', ID_FILE_OPEN},
    {FCONTROL, 'S', ID_FILE_SAVE},
    {FCONTROL, 'Z', ID_EDIT_UNDO},
    {FCONTROL, 'X', ID_EDIT_CUT},
    {FCONTROL, 'C', ID_EDIT_COPY},
    {FCONTROL, 'V', ID_EDIT_PASTE},
    {FALT, VK_BACK, ID_EDIT_UNDO},
    {FSHIFT, VK_DELETE, ID_EDIT_CUT},
    {FCONTROL, VK_INSERT, ID_EDIT_COPY},
    {FSHIFT, VK_INSERT, ID_EDIT_PASTE},
    {0, VK_F6, ID_NEXT_PANE},
    {FSHIFT, VK_F6, ID_PREV_PANE},
};

const AccelResource kAccels[] = {
    {IDR_MAINFRAME, kAccel128, sizeof kAccel128 / sizeof kAccel128[0]},
};

const ToolbarButton kToolbar128[] = {
    {ID_FILE_NEW, "wxART_NEW"},
    {ID_FILE_OPEN, "wxART_FILE_OPEN"},
    {ID_FILE_SAVE, "wxART_FILE_SAVE"},
    {0, nullptr},
    {ID_PREFERENCES, "wxART_HELP_SETTINGS"},
    {0, nullptr},
    {ID_EDIT_CUT, "wxART_CUT"},
    {ID_EDIT_COPY, "wxART_COPY"},
    {ID_EDIT_PASTE, "wxART_PASTE"},
    {0, nullptr},
    {ID_FILE_PRINT, "wxART_PRINT"},
    {0, nullptr},
    {ID_APP_ABOUT, "wxART_HELP"},
};

// Never shown as a toolbar: it only gives command 139 its icon.
const ToolbarButton kToolbar129[] = {
    {ID_COPY_TO_CLIPBOARD, "wxART_COPY"},
};

const ToolbarResource kToolbars[] = {
    {IDR_MAINFRAME, 16, 15, kToolbar128, sizeof kToolbar128 / sizeof kToolbar128[0]},
    {IDR_TESSARYAUTHORTYPE, 16, 15, kToolbar129, sizeof kToolbar129 / sizeof kToolbar129[0]},
};
// clang-format on

template <class T, std::size_t N>
const T* FindById(const T (&table)[N], unsigned id) {
  for (const T& t : table)
    if (t.id == id) return &t;
  return nullptr;
}

}  // namespace

const unsigned g_StatusIndicators[] = {ID_SEPARATOR, ID_INDICATOR_CAPS, ID_INDICATOR_NUM, ID_INDICATOR_SCRL};
const std::size_t g_StatusIndicatorCount = sizeof g_StatusIndicators / sizeof g_StatusIndicators[0];

const MenuResource* FindMenu(unsigned id) { return FindById(kMenus, id); }
const AccelResource* FindAccelerators(unsigned id) { return FindById(kAccels, id); }
const ToolbarResource* FindToolbar(unsigned id) { return FindById(kToolbars, id); }

}  // namespace res
