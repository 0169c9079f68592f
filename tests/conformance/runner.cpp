// Runs every case, printing failures and the Wine differences met.
#include <algorithm>
#include <cstdarg>
#include <cstdio>
#include <set>
#include <vector>

#include "conformance.h"
#include "machine_setup.h"
#include "spooler_fixture.h"

namespace conformance {
namespace {
std::vector<std::pair<const char*, void (*)()>>& Cases() {
  static std::vector<std::pair<const char*, void (*)()>> cases;
  return cases;
}
int g_failures = 0;
const char* g_case = "";
std::string g_row;
std::set<std::string> g_differences;
}  // namespace
int Register(const char* name, void (*run)()) { return Cases().emplace_back(name, run), 0; }
void Failure(const char* file, int line, const char* format, ...) {
  ++g_failures;
  std::printf("%s: %s:%d: %s", g_case, file, line, g_row.c_str());
  va_list args;
  va_start(args, format);
  std::vprintf(format, args);
  va_end(args);
  std::printf("\n");
}
Row::Row(const char* format, ...) {
  char row[200];
  va_list args;
  va_start(args, format);
  g_row.assign(row, std::min<int>(std::vsnprintf(row, sizeof(row), format, args), sizeof(row) - 1)) += ": ";
  va_end(args);
}
Row::~Row() { g_row.clear(); }
std::size_t TextLength(const WCHAR* text) { return std::char_traits<WCHAR>::length(text); }
std::string Narrow(const WCHAR* text, std::size_t length) {
  std::string narrow;
  for (std::size_t i = 0; text && i < length && text[i] != 0; ++i) narrow += text[i] < 0x80 ? char(text[i]) : '?';
  return narrow;
}
bool SameText(const WCHAR* a, const WCHAR* b, bool ignoreCase) {
  auto fold = [ignoreCase](WCHAR c) { return ignoreCase && c >= 'a' && c <= 'z' ? WCHAR(c - 32) : c; };
  for (; fold(*a) == fold(*b); ++a, ++b)
    if (*a == 0) return true;
  return false;
}
bool WineDiffers(const char* difference) {
  if (OnWine() && g_differences.insert(difference).second) std::printf("%s: wine differs: %s\n", g_case, difference);
  return OnWine();
}
bool StartSelf(const std::string& arguments, PROCESS_INFORMATION& child) {
  WCHAR self[MAX_PATH];
  GetModuleFileNameW(nullptr, self, MAX_PATH);
  std::basic_string<WCHAR> line = TEXT("\"") + std::basic_string<WCHAR>(self) + TEXT("\" ");
  line.append(arguments.begin(), arguments.end());  // ASCII: the cases' own words
  STARTUPINFOW startup{};
  startup.cb = sizeof(startup);
  return CreateProcessW(nullptr, &line[0], nullptr, nullptr, FALSE, 0, nullptr, nullptr, &startup, &child) != FALSE;
}
bool StartChild(PROCESS_INFORMATION& child) {
  if (!StartSelf(kChildArgument, child)) return false;
  for (int tries = 0; tries < 500; ++tries, Sleep(10))
    if (HANDLE mutex = OpenMutexA(SYNCHRONIZE, FALSE, kChildMutex)) return CloseHandle(mutex), true;
  return false;
}

}  // namespace conformance

int main(int argc, char** argv) {
  using namespace conformance;
  std::setvbuf(stdout, nullptr, _IONBF, 0);
  if (argc == 2 && std::strcmp(argv[1], kChildArgument) == 0) {
    CreateMutexA(nullptr, TRUE, kChildMutex);
    Sleep(60000);  // the case that started it terminates it
    return 0;
  }
  if (argc == 4 && std::strcmp(argv[1], kAddMonitorArgument) == 0) {
    const std::string name = argv[2], dll = argv[3];  // ASCII: the cases' own names
    return RegisterMonitor(Text(name.begin(), name.end()).c_str(), Text(dll.begin(), dll.end()).c_str())
               ? 0
               : static_cast<int>(GetLastError());
  }
  int failed = 0;
  for (const auto& [name, run] : Cases()) {
    g_case = name;
    const int before = g_failures;
    PrepareMachine();
    run();
    failed += g_failures != before;
    std::printf("%s: %s\n", name, g_failures == before ? "ok" : "FAILED");
  }
  std::printf("%zu cases, %d failed, %zu wine differences\n", Cases().size(), failed, g_differences.size());
  return failed != 0;
}
