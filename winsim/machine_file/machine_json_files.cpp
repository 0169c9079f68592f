// The volume in a machine file: files with their bytes as hex, directories,
// and the holds other processes have on files.
#include "machine_json_codec.h"

namespace winsim::machine_json {

SAVED_FIELDS(FileVersion, 4);
SAVED_FIELDS(File, 8);
SAVED_FIELDS(FileHold, 4);
SAVED_FIELDS(FileSystem, 7);

// A case-insensitive key kept folded, whatever case a file writes it in.
template <typename S>
struct Folded {
  S& text;
};
template <typename S>
Folded<S> Fold(S& text) {
  return Folded<S>{text};
}
Json ToJson(const Folded<const std::u16string>& key) { return ToJson(key.text); }
void FromJson(const Json& j, const std::string& path, Folded<std::u16string> key) {
  FromJson(j, path, key.text);
  key.text = FoldCase(key.text);
}

template <typename V>
void Fields(V& v, Like<V, File>& f) {
  v.Req("path", f.path);
  v.Opt("data", Hex(f.data));
  v.Opt("version", f.version);
  v.Opt("attributes", f.attributes);
  v.Opt("written", f.written);
  v.Opt("damagedAt", f.damagedAt);
  v.Opt("deletePending", f.deletePending);
  v.Opt("monitorPorts", f.monitorPorts);
}
template <typename V>
void Fields(V& v, Like<V, FileHold>& h) {
  v.Req("id", h.id);
  v.Req("key", Fold(h.key));
  v.Opt("error", h.error);
  v.Req("process", h.process);
}
template <typename V>
void Fields(V& v, Like<V, FileSystem>& fs) {
  v.Opt("files", AsList(fs.files, KeyedBy<File>(FoldedPath)));
  v.Opt("dirs", AsList(fs.dirs, KeyedBy<std::u16string>([](const std::u16string& path) { return FoldCase(path); })));
  v.Opt("currentDirectory", fs.currentDirectory);
  v.Opt("diskCapacity", fs.diskCapacity);
  v.Opt("createFileDelay", fs.createFileDelay);
  v.Opt("holds", fs.holds);
  v.Opt("nextHoldId", fs.nextHoldId);
}

Json ToJson(const FileSystem& files) { return SaveFields(files); }
void FromJson(const Json& j, const std::string& path, FileSystem& files) { LoadFields(j, path, files); }

}  // namespace winsim::machine_json
