// Runs every registered case; prints each failure and the Wine differences
// met, and exits with 1 when any case failed.
#include <cstdarg>
#include <cstdio>
#include <cstring>
#include <set>
#include <string>
#include <vector>

#include "conformance.h"
#include "machine_setup.h"

namespace conformance {

namespace {

struct Entry {
  const char* name;
  void (*run)();
};

std::vector<Entry>& Cases() {
  static std::vector<Entry> cases;
  return cases;
}

int g_failures = 0;
const char* g_case = "";
std::string g_row;
std::set<std::string> g_differences;

}  // namespace

int Register(const char* name, void (*run)()) {
  Cases().push_back({name, run});
  return 0;
}

void Failure(const char* file, int line, const char* format, ...) {
  ++g_failures;
  const char* base = std::strrchr(file, '/');
  std::printf("%s: %s:%d: %s", g_case, base ? base + 1 : file, line, g_row.c_str());
  va_list args;
  va_start(args, format);
  std::vprintf(format, args);
  va_end(args);
  std::printf("\n");
}

Row::~Row() { g_row.clear(); }
Row::Row(const char* format, ...) {
  char row[200];
  va_list args;
  va_start(args, format);
  std::vsnprintf(row, sizeof(row), format, args);
  va_end(args);
  g_row = std::string(row) + ": ";
}

std::size_t TextLength(const WCHAR* text) {
  std::size_t n = 0;
  while (text[n] != 0) ++n;
  return n;
}

std::string Narrow(const WCHAR* text, std::size_t length) {
  std::string narrow;
  if (text == nullptr) return "(null)";
  for (std::size_t i = 0; i < length && text[i] != 0; ++i) {
    narrow.push_back(text[i] < 0x80 ? static_cast<char>(text[i]) : '?');
  }
  return narrow;
}

bool SameText(const WCHAR* a, const WCHAR* b, bool ignoreCase) {
  auto fold = [ignoreCase](WCHAR c) { return ignoreCase && c >= 'a' && c <= 'z' ? static_cast<WCHAR>(c - 32) : c; };
  for (;; ++a, ++b) {
    if (fold(*a) != fold(*b)) return false;
    if (*a == 0) return true;
  }
}

bool WineDiffers(const char* difference) {
  if (!OnWine()) return false;
  if (g_differences.insert(difference).second) std::printf("%s: wine differs: %s\n", g_case, difference);
  return true;
}

bool StartChild(PROCESS_INFORMATION& child) {
  WCHAR self[MAX_PATH];
  if (GetModuleFileNameW(nullptr, self, MAX_PATH) == 0) return false;
  std::basic_string<WCHAR> line = TEXT("\"");
  line += self;
  line += TEXT("\" ");
  for (const char* c = kChildArgument; *c != 0; ++c) line += static_cast<WCHAR>(*c);
  STARTUPINFOW startup = {};
  startup.cb = sizeof(startup);
  if (!CreateProcessW(nullptr, &line[0], nullptr, nullptr, FALSE, 0, nullptr, nullptr, &startup, &child)) {
    return false;
  }
  for (int tries = 0; tries < 500; ++tries) {
    if (HANDLE mutex = OpenMutexA(SYNCHRONIZE, FALSE, kChildMutex)) {
      CloseHandle(mutex);
      return true;
    }
    Sleep(10);
  }
  return false;
}

}  // namespace conformance

int main(int argc, char** argv) {
  using namespace conformance;
  std::setvbuf(stdout, nullptr, _IONBF, 0);
  if (argc == 2 && std::strcmp(argv[1], kChildArgument) == 0) {
    CreateMutexA(nullptr, TRUE, kChildMutex);
    Sleep(60000);  // the case that started it terminates it long before
    return 0;
  }
  int failed = 0;
  for (const Entry& entry : Cases()) {
    g_case = entry.name;
    const int before = g_failures;
    PrepareMachine();
    entry.run();
    failed += g_failures != before;
    std::printf("%s: %s\n", entry.name, g_failures == before ? "ok" : "FAILED");
  }
  std::printf("%zu cases, %d failed, %zu wine differences\n", Cases().size(), failed, g_differences.size());
  return failed != 0 ? 1 : 0;
}
