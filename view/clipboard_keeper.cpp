#include "view/clipboard_keeper.h"

#include <gdk/gdk.h>
#ifdef GDK_WINDOWING_X11
#include <gdk/gdkx.h>
#endif

#include <string>

#include <wx/clipbrd.h>

#include "common/text_conv.h"
#include "view/clipboard_holder.h"

namespace {

std::string g_text;            // the list's text, UTF-8
GdkWindow* g_owner = nullptr;  // the toolkit's window that owns the clipboard for it

}  // namespace

void NoteListTextOnClipboard(const wxString& text) {
  g_text = ToSystemText(text);
  g_owner = gdk_selection_owner_get(GDK_SELECTION_CLIPBOARD);
}

void KeepListTextOnClipboard() {
  // Nothing to keep when another copy, here or in another program, has taken its place.
  if (!g_owner || gdk_selection_owner_get(GDK_SELECTION_CLIPBOARD) != g_owner) return;
  g_owner = nullptr;
  wxTheClipboard->Flush();
#ifdef GDK_WINDOWING_X11
  GdkDisplay* display = gdk_display_get_default();
  if (!GDK_IS_X11_DISPLAY(display) || gdk_display_supports_clipboard_persistence(display)) return;
  // The toolkit gives the clipboard up first: it would otherwise clear it, whoever then holds
  // it, as its window goes.
  wxTheClipboard->Clear();
  HoldClipboardText(gdk_display_get_name(display), g_text);
#endif
}
