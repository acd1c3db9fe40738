#!/usr/bin/env python3
"""A small window that offers the files named on its command line to a drag, as a file manager
does: drag_source.py TITLE PATH ... It prints "ready" once it shows, "dropped" or "refused WHY"
when the drag is over, and then ends (by itself after a minute at the latest)."""

import sys

import gi

gi.require_version("Gtk", "3.0")
gi.require_version("Gdk", "3.0")
from gi.repository import Gdk, GLib, Gtk  # noqa: E402


def main():
    title, paths = sys.argv[1], sys.argv[2:]
    window = Gtk.Window(title=title)
    window.set_default_size(120, 60)
    source = Gtk.EventBox()
    source.add(Gtk.Label(label="files"))
    window.add(source)
    source.drag_source_set(Gdk.ModifierType.BUTTON1_MASK, [Gtk.TargetEntry.new("text/uri-list", 0, 0)],
                           Gdk.DragAction.COPY)
    source.connect("drag-data-get", lambda w, c, data, i, t: data.set_uris([GLib.filename_to_uri(p) for p in paths]))

    failed = []

    def refused(widget, context, result):
        failed.append(result)
        return True  # no animation of the files flying back

    def ended(widget, context):
        print(f"refused {failed[0].value_nick}" if failed else "dropped", flush=True)
        GLib.timeout_add(100, Gtk.main_quit)

    source.connect("drag-failed", refused)
    source.connect("drag-end", ended)
    window.connect("map-event", lambda *a: print("ready", flush=True))
    window.connect("destroy", Gtk.main_quit)
    GLib.timeout_add_seconds(60, Gtk.main_quit)
    window.show_all()
    Gtk.main()


if __name__ == "__main__":
    main()
