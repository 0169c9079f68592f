// The desktop in a machine file: the window station, windows by handle,
// dialogs, modal loops.
#include "machine_json_codec.h"

namespace winsim::machine_json {

SAVED_FIELDS(Window, 5);
SAVED_FIELDS(ModalLoop, 3);
SAVED_FIELDS(DialogRecord, 6);
SAVED_FIELDS(WindowStation, 2);
SAVED_FIELDS(Desktop, 9);

template <typename V>
void Fields(V& v, Like<V, std::pair<HWND, Window>>& entry) {
  Like<V, Window>& w = entry.second;
  v.Req("handle", entry.first);
  v.Opt("className", w.className);
  v.Opt("title", w.title);
  v.Opt("owner", w.owner);
  v.Opt("items", w.items);
  v.Opt("process", w.process);
}
template <typename V>
void Fields(V& v, Like<V, ModalLoop>& m) {
  v.Req("hwnd", m.hwnd);
  v.Opt("ended", m.ended);
  v.Opt("result", m.result);
}
template <typename V>
void Fields(V& v, Like<V, DialogRecord>& d) {
  v.Req("resource", d.resource);
  v.Opt("owner", d.owner);
  v.Opt("title", d.title);
  v.Opt("items", d.items);
  v.Opt("actions", d.actions);
  v.Opt("result", d.result);
}
template <typename V>
void Fields(V& v, Like<V, WindowStation>& s) {
  v.Opt("name", s.name);
  v.Opt("visible", s.visible);
}
template <typename V>
void Fields(V& v, Like<V, Desktop>& d) {
  v.Opt("station", d.station);
  v.Opt("windows", AsList(d.windows, KeyBeside<HWND, Window>()));
  v.Opt("nextHandle", d.nextHandle);
  v.Opt("hasDisplay", d.hasDisplay);
  v.Opt("shiftDown", d.shiftDown);
  v.Opt("dialogResources", d.dialogResources);
  v.Opt("script", d.script);
  v.Opt("dialogs", d.dialogs);
  v.Opt("modal", d.modal);
}

Json ToJson(const Desktop& desktop) { return SaveFields(desktop); }
void FromJson(const Json& j, const std::string& path, Desktop& desktop) { LoadFields(j, path, desktop); }

}  // namespace winsim::machine_json
