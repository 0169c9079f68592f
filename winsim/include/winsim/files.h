// Files and directories of the simulated machine.
#pragma once
#include <cstdint>
#include <map>
#include <optional>
#include <string>
#include <vector>

#include <windows.h>

namespace winsim {

struct FileVersion {
  WORD major = 0, minor = 0, build = 0, revision = 0;  // a.b.c.d
};

struct File {
  std::u16string path;                 // as created, original case
  std::vector<std::uint8_t> data;
  std::optional<FileVersion> version;  // product version resource, if any
};

struct FileSystem {
  std::map<std::u16string, File> files;            // FoldCase(path) -> file
  std::map<std::u16string, std::u16string> dirs;   // FoldCase(path) -> path

  File* Find(const std::u16string& path);
  File& Put(const std::u16string& path, std::vector<std::uint8_t> data = {},
            std::optional<FileVersion> version = std::nullopt);
  void AddDirectory(const std::u16string& path);
  bool IsDirectory(const std::u16string& path) const;
};

}  // namespace winsim
