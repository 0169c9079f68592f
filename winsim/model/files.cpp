// The file system model: paths, files and directories, sharing against
// open handles and other processes' holds, the disk's space, and the
// delayed renames carried out at restart.
#include <winsim/machine.h>

#include <algorithm>

namespace winsim {

namespace {

constexpr std::size_t kMaxComponent = 255;

bool IsDriveLetter(char16_t c) { return (c >= u'A' && c <= u'Z') || (c >= u'a' && c <= u'z'); }

bool StartsWith(const std::u16string& text, const std::u16string& prefix) {
  return text.compare(0, prefix.size(), prefix) == 0;
}

bool HasInvalidCharacter(const std::u16string& name) {
  for (char16_t c : name) {
    if (c < 0x20 || c == u'<' || c == u'>' || c == u':' || c == u'"' || c == u'|' || c == u'?' || c == u'*') {
      return true;
    }
  }
  return false;
}

bool IsRoot(const std::u16string& full) { return full.size() == 3 && full[1] == u':' && full[2] == u'\\'; }

// Whether a key of the folded map begins with `prefix`: the keys that do
// follow one another in its order, from the first not below `prefix`.
template <typename Map>
bool AnyKeyStartsWith(const Map& map, const std::u16string& prefix) {
  auto it = map.lower_bound(prefix);
  return it != map.end() && StartsWith(it->first, prefix);
}

bool Reads(DWORD access) { return (access & (GENERIC_READ | GENERIC_ALL | FILE_READ_DATA)) != 0; }
bool Writes(DWORD access) { return (access & (GENERIC_WRITE | GENERIC_ALL | FILE_WRITE_DATA | FILE_APPEND_DATA)) != 0; }
bool Deletes(DWORD access) { return (access & (DELETE | GENERIC_ALL)) != 0; }

}  // namespace

std::u16string ParentPath(const std::u16string& full) {
  const auto cut = full.find_last_of(u'\\');
  if (cut == std::u16string::npos || cut <= 2) return full.substr(0, std::min<std::size_t>(full.size(), 2)) + u"\\";
  return full.substr(0, cut);
}

namespace {

// From `it` on, the first key of `map` that names a direct child of the
// directory whose folded path with its separator is `prefix`; a
// subdirectory's own contents are passed over in one step (']' follows '\').
template <typename Map>
typename Map::const_iterator NextChild(const Map& map, const std::u16string& prefix, typename Map::const_iterator it) {
  while (it != map.end() && StartsWith(it->first, prefix)) {
    const std::size_t slash = it->first.find(u'\\', prefix.size());
    if (slash == std::u16string::npos) {
      if (it->first.size() > prefix.size()) return it;
      ++it;
    } else {
      it = map.lower_bound(it->first.substr(0, slash) + u']');
    }
  }
  return map.end();
}

}  // namespace

std::optional<DirectoryEntry> NextDirectoryEntry(const FileSystem& files, const std::u16string& full,
                                                 const std::u16string& after) {
  const std::u16string prefix = IsRoot(full) ? FoldCase(full) : FoldCase(full) + u"\\";
  const auto start = [&](const auto& map) {
    return after.empty() ? map.lower_bound(prefix) : map.upper_bound(prefix + after);
  };
  const auto dir = NextChild(files.dirs, prefix, start(files.dirs));
  const auto file = NextChild(files.files, prefix, start(files.files));
  // A directory and a file of one folded name: the directory is listed.
  if (dir != files.dirs.end() && (file == files.files.end() || dir->first <= file->first)) {
    return DirectoryEntry{dir->second.substr(prefix.size()), nullptr};
  }
  if (file != files.files.end()) return DirectoryEntry{file->second.path.substr(prefix.size()), &file->second};
  return std::nullopt;
}

std::vector<DirectoryEntry> ListDirectory(const FileSystem& files, const std::u16string& full) {
  std::vector<DirectoryEntry> listed;
  for (auto entry = NextDirectoryEntry(files, full, u""); entry;
       entry = NextDirectoryEntry(files, full, FoldCase(entry->name))) {
    listed.push_back(*entry);
  }
  return listed;
}

bool MatchesWildcard(const std::u16string& pattern, const std::u16string& name) {
  // The pattern as Windows hands it to the file system, with the DOS
  // wildcards: '<' (DOS_STAR), '>' (DOS_QM), '"' (DOS_DOT).
  std::u16string dos = pattern == u"*.*" ? u"*" : pattern;
  for (std::size_t i = 0; i < dos.size(); ++i) {
    const char16_t next = i + 1 < dos.size() ? dos[i + 1] : 0;
    if (dos[i] == u'?') {
      dos[i] = u'>';
    } else if (dos[i] == u'*' && next == u'.') {
      dos[i] = u'<';
    } else if (dos[i] == u'.' && (next == u'*' || next == u'?' || next == 0)) {
      dos[i] = u'"';
    }
  }
  const std::size_t lastDot = name.find_last_of(u'.');
  const std::u16string folded = FoldCase(name);
  const std::u16string foldedPattern = FoldCase(dos);
  // matches[i][j]: pattern from i matches name from j; filled from the ends.
  const std::size_t np = dos.size();
  const std::size_t nn = name.size();
  std::vector<std::vector<bool>> matches(np + 1, std::vector<bool>(nn + 1, false));
  matches[np][nn] = true;
  for (std::size_t i = np; i-- > 0;) {
    for (std::size_t j = nn + 1; j-- > 0;) {
      const bool more = j < nn;
      bool m = false;
      switch (dos[i]) {
        case u'*': m = matches[i + 1][j] || (more && matches[i][j + 1]); break;
        case u'<':
          m = matches[i + 1][j] || (more && (lastDot == std::u16string::npos || j < lastDot) && matches[i][j + 1]);
          break;
        case u'>': m = (more && name[j] != u'.') ? matches[i + 1][j + 1] : matches[i + 1][j]; break;
        case u'"': m = (more && name[j] == u'.' && matches[i + 1][j + 1]) || (!more && matches[i + 1][j]); break;
        default: m = more && folded[j] == foldedPattern[i] && matches[i + 1][j + 1]; break;
      }
      matches[i][j] = m;
    }
  }
  return matches[0][0];
}

bool FileSystem::FullPath(const std::u16string& path, std::u16string& full, DWORD& error, bool limitLength) const {
  error = ERROR_PATH_NOT_FOUND;
  std::u16string p = path;
  bool verbatim = false;
  if (StartsWith(p, u"\\\\?\\") || StartsWith(p, u"\\??\\")) {
    p.erase(0, 4);
    verbatim = true;
  } else {
    std::replace(p.begin(), p.end(), u'/', u'\\');
  }
  if (p.empty()) return false;

  std::u16string drive;
  std::u16string rest;
  if (p.size() >= 2 && IsDriveLetter(p[0]) && p[1] == u':') {
    drive = p.substr(0, 2);
    rest = p.substr(2);
    // "C:name" is relative to the current directory when it lies on that
    // drive; other drives' current directory is their root.
    if (!verbatim && (rest.empty() || rest[0] != u'\\') && FoldCase(drive) == FoldCase(currentDirectory.substr(0, 2))) {
      rest = currentDirectory.substr(2) + u"\\" + rest;
    }
  } else if (verbatim) {
    return false;  // verbatim paths must be full
  } else if (p[0] == u'\\') {
    if (p.size() > 1 && p[1] == u'\\') return false;  // network paths are not modelled
    drive = currentDirectory.substr(0, 2);
    rest = p;
  } else {
    drive = currentDirectory.substr(0, 2);
    rest = currentDirectory.substr(2) + u"\\" + p;
  }

  std::vector<std::u16string> parts;
  bool badName = false;
  std::size_t start = 0;
  while (start <= rest.size()) {
    std::size_t end = rest.find(u'\\', start);
    if (end == std::u16string::npos) end = rest.size();
    std::u16string part = rest.substr(start, end - start);
    start = end + 1;
    if (part.empty() || (!verbatim && part == u".")) continue;
    if (!verbatim && part == u"..") {
      if (!parts.empty()) parts.pop_back();
      continue;
    }
    badName = badName || part.size() > kMaxComponent || HasInvalidCharacter(part);
    parts.push_back(part);
  }
  full = drive;
  for (const auto& part : parts) full += u"\\" + part;
  if (parts.empty()) full += u"\\";
  // Without "\\?\" Windows takes no path of MAX_PATH characters or more.
  if (limitLength && !verbatim && full.size() >= MAX_PATH) return false;
  if (badName) {
    error = ERROR_INVALID_NAME;
    return false;
  }
  return true;
}

File* FileSystem::Find(const std::u16string& path) {
  std::u16string full;
  DWORD error;
  if (!FullPath(path, full, error, false)) return nullptr;
  auto it = files.find(FoldCase(full));
  return it == files.end() ? nullptr : &it->second;
}

File& FileSystem::Put(const std::u16string& path, std::vector<std::uint8_t> data, std::optional<FileVersion> version) {
  std::u16string full;
  DWORD error;
  if (!FullPath(path, full, error, false)) full = path;  // a test's own odd name: keep it as given
  File& file = files[FoldCase(full)];
  file.path = full;
  file.data = std::move(data);
  file.version = version;
  if (!IsRoot(ParentPath(full))) AddDirectory(ParentPath(full));
  return file;
}

void FileSystem::AddDirectory(const std::u16string& path) {
  std::u16string dir;
  DWORD error;
  if (!FullPath(path, dir, error, false)) return;
  while (!IsRoot(dir)) {
    dirs.emplace(FoldCase(dir), dir);
    dir = ParentPath(dir);
  }
}

bool FileSystem::IsDirectory(const std::u16string& path) const {
  std::u16string full;
  DWORD error;
  if (!FullPath(path, full, error, false)) return false;
  if (IsRoot(full)) {
    const std::u16string drive = FoldCase(full.substr(0, 2));
    return drive == u"C:" || AnyKeyStartsWith(dirs, drive) || AnyKeyStartsWith(files, drive);
  }
  return dirs.count(FoldCase(full)) != 0;
}

std::uint64_t FileSystem::UsedBytes() const {
  std::uint64_t used = 0;
  for (const auto& file : files) used += file.second.data.size();
  return used;
}

std::uint64_t FileSystem::FreeBytes() const {
  const std::uint64_t used = UsedBytes();
  return diskCapacity > used ? diskCapacity - used : 0;
}

void FileSystem::SetFreeBytes(std::uint64_t bytes) { diskCapacity = UsedBytes() + bytes; }

std::optional<FileHold> FindHold(const Machine& machine, const std::u16string& key) {
  for (const auto& hold : machine.files.holds) {
    if (hold.key == key) return hold;
  }
  // A running program's own file is mapped into it: Windows refuses its
  // deletion with ERROR_ACCESS_DENIED until the program ends.
  for (const auto& entry : machine.processes) {
    const Process& process = entry.second;
    if (process.running && process.kind == ProgramKind::Program && FoldCase(process.image) == key) {
      return FileHold{0, key, ERROR_ACCESS_DENIED, process.id};
    }
  }
  // spoolsv.exe has every registered monitor's module loaded while it runs.
  if (machine.services.spooler.process != 0) {
    for (const Monitor& monitor : machine.spooler.monitors) {
      if (FoldCase(machine.systemDirectory + u"\\" + monitor.dll) == key) {
        return FileHold{0, key, ERROR_ACCESS_DENIED, machine.services.spooler.process};
      }
    }
  }
  return std::nullopt;
}

bool IsOpen(const Machine& machine, const std::u16string& key) {
  for (const auto& entry : machine.handles.entries) {
    if (entry.second.kind == HandleKind::File && entry.second.object == key) return true;
  }
  return false;
}

DWORD SharingError(const Machine& machine, const std::u16string& key, DWORD access, DWORD share) {
  // Another process's hold comes first: it is older than any of our handles.
  if (const auto hold = FindHold(machine, key)) {
    if (Writes(access) || (Reads(access) && !(share & FILE_SHARE_READ))) return ERROR_SHARING_VIOLATION;
    if (Deletes(access)) return hold->error;
  }
  for (const auto& entry : machine.handles.entries) {
    const Handle& other = entry.second;
    if (other.kind != HandleKind::File || other.object != key) continue;
    const bool clash =
        (Reads(access) && !(other.share & FILE_SHARE_READ)) || (Writes(access) && !(other.share & FILE_SHARE_WRITE)) ||
        (Deletes(access) && !(other.share & FILE_SHARE_DELETE)) ||
        (Reads(other.access) && !(share & FILE_SHARE_READ)) || (Writes(other.access) && !(share & FILE_SHARE_WRITE)) ||
        (Deletes(other.access) && !(share & FILE_SHARE_DELETE));
    if (clash) return ERROR_SHARING_VIOLATION;
  }
  return ERROR_SUCCESS;
}

DWORD FileSystem::Missing(const std::u16string& full) const {
  return IsDirectory(ParentPath(full)) ? ERROR_FILE_NOT_FOUND : ERROR_PATH_NOT_FOUND;
}

DWORD DeletePath(Machine& machine, const std::u16string& path) {
  FileSystem& fs = machine.files;
  std::u16string full;
  DWORD error;
  if (!fs.FullPath(path, full, error, false)) return error;
  if (fs.IsDirectory(full)) return ERROR_ACCESS_DENIED;
  const std::u16string key = FoldCase(full);
  auto it = fs.files.find(key);
  if (it == fs.files.end()) return fs.Missing(full);
  File& file = it->second;
  if (file.deletePending || (file.attributes & FILE_ATTRIBUTE_READONLY)) return ERROR_ACCESS_DENIED;
  // DeleteFileW opens the file for DELETE, sharing everything.
  error = SharingError(machine, key, DELETE, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE);
  if (error != ERROR_SUCCESS) return error;
  if (IsOpen(machine, key)) {
    file.deletePending = true;
  } else {
    fs.files.erase(it);
  }
  return ERROR_SUCCESS;
}

DWORD MovePath(Machine& machine, const std::u16string& from, const std::u16string& to, bool replace) {
  FileSystem& fs = machine.files;
  auto& files = fs.files;
  std::u16string source;
  std::u16string target;
  DWORD error;
  if (!fs.FullPath(from, source, error, false) || !fs.FullPath(to, target, error, false)) return error;
  if (fs.IsDirectory(source)) return ERROR_ACCESS_DENIED;  // directory moves are not modelled
  const std::u16string sourceKey = FoldCase(source);
  const std::u16string targetKey = FoldCase(target);
  auto it = files.find(sourceKey);
  if (it == files.end()) return fs.Missing(source);
  if (it->second.deletePending) return ERROR_ACCESS_DENIED;
  // A rename opens the source for DELETE; a loaded module can be renamed.
  const auto sourceHold = FindHold(machine, sourceKey);
  if (sourceHold && sourceHold->error != ERROR_ACCESS_DENIED) return ERROR_SHARING_VIOLATION;
  for (const auto& entry : machine.handles.entries) {
    const Handle& handle = entry.second;
    if (handle.kind == HandleKind::File && handle.object == sourceKey && !(handle.share & FILE_SHARE_DELETE)) {
      return ERROR_SHARING_VIOLATION;
    }
  }
  if (!fs.IsDirectory(ParentPath(target))) return ERROR_PATH_NOT_FOUND;
  if (fs.IsDirectory(target)) return ERROR_ACCESS_DENIED;
  if (targetKey != sourceKey) {
    auto existing = files.find(targetKey);
    if (existing != files.end()) {
      if (!replace) return ERROR_ALREADY_EXISTS;
      if ((existing->second.attributes & FILE_ATTRIBUTE_READONLY) || existing->second.deletePending ||
          FindHold(machine, targetKey) || IsOpen(machine, targetKey)) {
        return ERROR_ACCESS_DENIED;
      }
      files.erase(existing);
    }
  }
  File moved = std::move(files.find(sourceKey)->second);
  files.erase(sourceKey);
  moved.path = target;
  files[targetKey] = std::move(moved);
  for (auto& entry : machine.handles.entries) {
    Handle& handle = entry.second;
    if (handle.kind == HandleKind::File && handle.object == sourceKey) handle.object = targetKey;
  }
  return ERROR_SUCCESS;
}

void FileSystem::TakeIdentityFromSameBytes(File& file) {
  file.version.reset();
  file.monitorPorts.reset();
  if (file.data.empty()) return;
  for (const auto& other : files) {
    const File& same = other.second;
    if (&same == &file || same.data != file.data || (!same.version && !same.monitorPorts)) continue;
    file.version = same.version;
    file.monitorPorts = same.monitorPorts;
    return;
  }
}

int LockFile(Machine& machine, const std::u16string& path, DWORD error, bool untilSpoolerStops,
             std::optional<std::uint64_t> until) {
  FileSystem& files = machine.files;
  std::u16string full;
  DWORD pathError;
  if (!files.FullPath(path, full, pathError, false) || files.Find(full) == nullptr) return 0;
  const DWORD holder = untilSpoolerStops ? machine.services.spooler.process : kSystemProcess;
  if (holder == 0) return 0;
  const int id = files.nextHoldId++;
  files.holds.push_back(FileHold{id, FoldCase(full), error, holder});
  if (until) machine.Schedule(Event{*until, EventKind::HoldEnds, static_cast<std::uint64_t>(id)});
  return id;
}

void UnlockFile(Machine& machine, int id) {
  auto& holds = machine.files.holds;
  holds.erase(std::remove_if(holds.begin(), holds.end(), [id](const FileHold& hold) { return hold.id == id; }),
              holds.end());
}

void RunPendingRenames(Machine& machine) {
  FileSystem& files = machine.files;
  const RegistryValue* value = machine.registry.FindValue(kSessionManagerKey, kPendingRenamesValue);
  if (value == nullptr) return;
  std::vector<std::u16string> entries;
  if (value->type == REG_MULTI_SZ) entries = MultiStrings(value->data);
  auto withoutPrefix = [](std::u16string path) {
    if (StartsWith(path, u"\\??\\")) path.erase(0, 4);
    return path;
  };
  // Failures are skipped, as Windows' session manager does at boot.
  for (std::size_t i = 0; i + 1 < entries.size(); i += 2) {
    const std::u16string source = withoutPrefix(entries[i]);
    std::u16string target = entries[i + 1];
    if (source.empty()) continue;
    if (target.empty()) {
      std::u16string full;
      DWORD error;
      if (files.IsDirectory(source) && files.FullPath(source, full, error, false)) {
        const std::u16string key = FoldCase(full) + u"\\";
        if (!AnyKeyStartsWith(files.dirs, key) && !AnyKeyStartsWith(files.files, key)) files.dirs.erase(FoldCase(full));
      } else {
        DeletePath(machine, source);
      }
      continue;
    }
    const bool replace = target[0] == u'!';
    if (replace) target.erase(0, 1);
    MovePath(machine, source, withoutPrefix(target), replace);
  }
  machine.registry.DeleteValue(kSessionManagerKey, kPendingRenamesValue);
}

}  // namespace winsim
