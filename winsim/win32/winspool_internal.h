// What the winspool calls share: the entry checks every call makes, the
// printer handles, and the one routine that lays out info blocks.
#pragma once
#include <winspool.h>
#include <windows.h>

#include <algorithm>
#include <initializer_list>
#include <string>
#include <utility>
#include <vector>

#include "api.h"

namespace winsim {

// Every winspool call is an RPC to spoolsv.exe; with the service not
// running it fails with RPC_S_SERVER_UNAVAILABLE.
inline bool SpoolerAnswers() {
  if (SpoolerRunning(M())) return true;
  Fail(RPC_S_SERVER_UNAVAILABLE);
  return false;
}

inline const char16_t kNativeEnvironment[] = u"Windows x64";

// The environment a call names: NULL is the native one.
inline std::u16string EnvironmentOf(LPCWSTR environment) {
  return environment != nullptr ? FromWide(environment) : std::u16string(kNativeEnvironment);
}

// True for a name that is NULL or empty: the local print server.
inline bool IsLocalServer(LPCWSTR name) { return name == nullptr || *name == 0; }

// The checks a spooler call makes of what it is given before its own work,
// written at each call in the order that call makes them (the spooler's
// order differs from call to call). The first that fails sets the last
// error and the rest are skipped; the chain then tests false.
class ArgumentChecks {
 public:
  // ERROR_INVALID_NAME unless `server` names the local print server.
  ArgumentChecks& Server(LPCWSTR server) { return Require(IsLocalServer(server), ERROR_INVALID_NAME); }
  // ERROR_INVALID_LEVEL unless the call takes `level`.
  ArgumentChecks& Level(DWORD level, std::initializer_list<DWORD> taken) {
    return Require(std::find(taken.begin(), taken.end(), level) != taken.end(), ERROR_INVALID_LEVEL);
  }
  // ERROR_INVALID_ENVIRONMENT unless the spooler has the environment (NULL:
  // the native one). Read only when the checks before it held.
  ArgumentChecks& Environment(LPCWSTR environment) {
    return Require(!ok_ || M().spooler.FindEnvironment(EnvironmentOf(environment)) != nullptr,
                   ERROR_INVALID_ENVIRONMENT);
  }
  // `error` (ERROR_INVALID_PARAMETER, RPC_X_NULL_REF_POINTER, ...) unless `holds`.
  ArgumentChecks& Require(bool holds, DWORD error) {
    if (ok_ && !holds) {
      Fail(error);
      ok_ = false;
    }
    return *this;
  }
  explicit operator bool() const { return ok_; }

 private:
  bool ok_ = true;
};

// The caller's printer handle, or null (last error ERROR_INVALID_HANDLE).
// A handle opened in an earlier run of spoolsv.exe names nothing now.
inline Handle* FindPrinterHandle(HANDLE printer) {
  Handle* handle = CallerHandle(printer, HandleKind::Printer);
  if (handle != nullptr && handle->target != M().services.spooler.process) {
    Fail(ERROR_INVALID_HANDLE);
    return nullptr;
  }
  return handle;
}

// The printer a handle names; null for a server handle (last error
// ERROR_INVALID_HANDLE, as printer calls refuse the server's handle).
inline Printer* PrinterOfHandle(const Handle& handle) {
  Printer* printer = handle.object.empty() ? nullptr : M().spooler.FindPrinter(handle.object);
  if (printer == nullptr) Fail(ERROR_INVALID_HANDLE);
  return printer;
}

// The text of one string field: the record's own string, read where it
// lies rather than copied, or a multi-string composed for the call (with
// its inner zeros; the final zero is added when written).
class Text {
 public:
  // Implicit, so that a field returns its record's string as it is.
  // cppcheck-suppress noExplicitConstructor
  Text(const std::u16string& own) : own_(&own) {}  // NOLINT(google-explicit-constructor)
  // cppcheck-suppress noExplicitConstructor
  Text(std::u16string&& composed) : composed_(std::move(composed)) {}  // NOLINT(google-explicit-constructor)
  const std::u16string& operator*() const { return own_ != nullptr ? *own_ : composed_; }

 private:
  const std::u16string* own_ = nullptr;
  std::u16string composed_;
};

template <typename Object>
struct StringField {
  std::size_t offset;  // of the LPWSTR in the record
  Text (*text)(const Object&);
};

// One info level: the record, its string fields, the fields that are not
// strings, and an optional DEVMODEW that each record points at.
template <typename Object>
struct InfoLevel {
  DWORD level;
  std::size_t recordSize;
  std::vector<StringField<Object>> strings;
  void (*fixed)(const Object&, BYTE* record) = nullptr;
  void (*devMode)(const Object&, DEVMODEW& out) = nullptr;
  std::size_t devModeOffset = 0;  // of pDevMode in the record, when devMode is set
};

template <typename Object>
const InfoLevel<Object>* FindLevel(const std::vector<InfoLevel<Object>>& levels, DWORD level) {
  for (const auto& l : levels) {
    if (l.level == level) return &l;
  }
  return nullptr;
}

// Lays the records out at the start of the block and packs what they point
// at from the block's end backwards, as the spooler does; with no block it
// only counts. Returns the bytes the layout takes.
template <typename Object>
std::size_t LayOut(const InfoLevel<Object>& level, const std::vector<const Object*>& objects, BYTE* block,
                   std::size_t size) {
  std::size_t used = objects.size() * level.recordSize;
  // Device modes first, from an 8-aligned end, so that they stay aligned.
  BYTE* end = block != nullptr ? block + (size & ~std::size_t{7}) : nullptr;
  auto pointAt = [](BYTE* record, std::size_t offset, void* target) {
    std::memcpy(record + offset, &target, sizeof(target));
  };
  if (block != nullptr) std::memset(block, 0, used);
  for (std::size_t i = 0; i < objects.size(); ++i) {
    if (level.devMode == nullptr) break;
    used += sizeof(DEVMODEW);
    if (block == nullptr) continue;
    end -= sizeof(DEVMODEW);
    DEVMODEW devMode;
    level.devMode(*objects[i], devMode);
    std::memcpy(end, &devMode, sizeof(devMode));
    pointAt(block + i * level.recordSize, level.devModeOffset, end);
  }
  for (std::size_t i = 0; i < objects.size(); ++i) {
    BYTE* record = block != nullptr ? block + i * level.recordSize : nullptr;
    if (record != nullptr && level.fixed != nullptr) level.fixed(*objects[i], record);
    for (const auto& field : level.strings) {
      const Text value = field.text(*objects[i]);
      const std::u16string& text = *value;
      const std::size_t bytes = (text.size() + 1) * sizeof(WCHAR);
      used += bytes;
      if (record == nullptr) continue;
      end -= bytes;
      std::memcpy(end, text.c_str(), bytes);
      pointAt(record, field.offset, end);
    }
  }
  return used;
}

// The sizing and the filling call in one: *pcbNeeded gets the size (rounded
// to 8, the alignment the layout keeps); a short block gives
// ERROR_INSUFFICIENT_BUFFER and nothing written.
template <typename Object>
bool WriteInfo(const InfoLevel<Object>& level, const std::vector<const Object*>& objects, BYTE* block, DWORD cbBuf,
               LPDWORD pcbNeeded) {
  const std::size_t needed = (LayOut(level, objects, nullptr, 0) + 7) & ~std::size_t{7};
  *pcbNeeded = static_cast<DWORD>(needed);
  if (cbBuf < needed || (needed > 0 && block == nullptr)) {
    Fail(ERROR_INSUFFICIENT_BUFFER);
    return false;
  }
  if (block != nullptr) LayOut(level, objects, block, cbBuf);
  return true;
}

// What every Enum* call checks first: its out-parameters, its level and the
// server it names. The level, or null with the last error set.
template <typename Object>
const InfoLevel<Object>* StartEnum(const std::vector<InfoLevel<Object>>& levels, DWORD level, LPCWSTR server,
                                   LPDWORD pcbNeeded, LPDWORD pcReturned) {
  if (!ArgumentChecks().Require(pcbNeeded != nullptr && pcReturned != nullptr, RPC_X_NULL_REF_POINTER)) return nullptr;
  *pcReturned = 0;
  const InfoLevel<Object>* found = FindLevel(levels, level);
  return ArgumentChecks().Require(found != nullptr, ERROR_INVALID_LEVEL).Server(server) ? found : nullptr;
}

template <typename Object>
BOOL EndEnum(const InfoLevel<Object>& level, const std::vector<const Object*>& objects, BYTE* block, DWORD cbBuf,
             LPDWORD pcbNeeded, LPDWORD pcReturned) {
  if (!WriteInfo(level, objects, block, cbBuf, pcbNeeded)) return FALSE;
  *pcReturned = static_cast<DWORD>(objects.size());
  return TRUE;
}

// What a Get* call on a printer handle checks first: the handle and its
// printer, the size out-parameter, the level. The level, or null with the
// last error set.
template <typename Object>
const InfoLevel<Object>* StartGet(HANDLE hPrinter, const std::vector<InfoLevel<Object>>& levels, DWORD level,
                                  LPDWORD pcbNeeded, const Printer*& printer) {
  const Handle* handle = FindPrinterHandle(hPrinter);
  printer = handle != nullptr ? PrinterOfHandle(*handle) : nullptr;
  if (printer == nullptr) return nullptr;
  const InfoLevel<Object>* found = FindLevel(levels, level);
  return ArgumentChecks()
                 .Require(pcbNeeded != nullptr, RPC_X_NULL_REF_POINTER)
                 .Require(found != nullptr, ERROR_INVALID_LEVEL)
             ? found
             : nullptr;
}

// A multi-string of `strings` as a Text: each with its zero; empty: "".
inline Text MultiText(const std::vector<std::u16string>& strings) {
  std::u16string text;
  for (const auto& s : strings) {
    text += s;
    text.push_back(u'\0');
  }
  return Text(std::move(text));
}

}  // namespace winsim

// The entry of every winspool call: the armed fault, then the spooler.
#define WINSPOOL_ENTRY(failure_value)                      \
  do {                                                     \
    WINSIM_FAULT(failure_value);                           \
    if (!::winsim::SpoolerAnswers()) return failure_value; \
  } while (0)
