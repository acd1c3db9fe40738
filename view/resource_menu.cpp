#include "view/resource_menu.h"

#include <wx/menu.h>

#ifdef __WXGTK__
#include <gtk/gtk.h>
#endif

#include "common/command_ids.h"
#include "common/res_text.h"
#include "common/text_conv.h"
#include "res/app_resources.h"

namespace {

std::function<wxBitmap(int)>& BitmapSource() {
  static std::function<wxBitmap(int)> source;
  return source;
}

}  // namespace

wxMenu* BuildResourcePopup(unsigned menuId, std::size_t popupIndex, wxString* title,
                           const std::function<bool(int)>& isCheck, const std::function<wxBitmap(int)>& bitmapFor) {
  const res::MenuResource* m = res::FindMenu(menuId);
  if (!m) return nullptr;
  wxMenu* menu = nullptr;
  std::size_t popup = 0;
  for (std::size_t i = 0; i < m->count; ++i) {
    const res::MenuEntry& e = m->entries[i];
    if (e.kind == res::MenuEntry::popup) {
      if (menu) break;
      if (popup++ == popupIndex) {
        menu = new wxMenu;
        if (title) *title = FromSystemText(e.text);
      }
      continue;
    }
    if (!menu) continue;
    if (e.kind == res::MenuEntry::separator) {
      menu->AppendSeparator();
      continue;
    }
    const bool check = isCheck && isCheck(e.id);
    auto* item = new wxMenuItem(menu, WxId(e.id), FromSystemText(e.text), CommandPrompt(e.id),
                                check ? wxITEM_CHECK : wxITEM_NORMAL);
    // GTK takes an item's image only before the item is in its menu.
    if (!check && bitmapFor) {
      const wxBitmap bitmap = bitmapFor(e.id);
      if (bitmap.IsOk()) item->SetBitmap(bitmap);
    }
    menu->Append(item);
#ifdef __WXGTK__
    // GTK 3 hides menu images unless told otherwise; an item that has one shows it.
    if (item->GetBitmap().IsOk())
      if (GtkWidget* widget = item->GetMenuItem(); widget && GTK_IS_IMAGE_MENU_ITEM(widget)) {
        G_GNUC_BEGIN_IGNORE_DEPRECATIONS
        gtk_image_menu_item_set_always_show_image(GTK_IMAGE_MENU_ITEM(widget), TRUE);
        G_GNUC_END_IGNORE_DEPRECATIONS
      }
#endif
  }
  return menu;
}

void SetCommandBitmapSource(std::function<wxBitmap(int)> source) { BitmapSource() = std::move(source); }

wxBitmap GetSourcedCommandBitmap(int command) { return BitmapSource() ? BitmapSource()(command) : wxBitmap(); }
