// Compiled as the installer is, so that the calls below go through the trace.
#define WINSIM_TRACE_CALLS
#include <windows.h>
#include <winspool.h>

#include <functional>

#include <winsim/trace.h>

#include "test_support.h"

namespace {

INT_PTR CALLBACK EndAtOnce(HWND dialog, UINT message, WPARAM, LPARAM) {
  if (message == WM_INITDIALOG) EndDialog(dialog, IDOK);
  return TRUE;
}

class TraceTest : public MachineTest {
 protected:
  ~TraceTest() override { winsim::trace::StartRecording(false); }
  // The lines the trace shows of what `calls` does, without their times.
  std::vector<std::string> Traced(const std::function<void()>& calls) {
    winsim::trace::StartRecording();
    calls();
    std::vector<std::string> lines;
    for (const auto& call : winsim::trace::Calls()) {
      const std::string line = winsim::trace::Line(call);
      lines.push_back(line.substr(line.find("] ") + 2));
    }
    return lines;
  }
};

TEST_F(TraceTest, ShowsEachCallAsItWasMade) {
  const std::u16string longPath = u"C:\\" + std::u16string(200, u'x');
  struct Case {
    const char* what;
    std::function<void()> calls;
    std::vector<std::string> lines;
  };
  const Case cases[] = {
      {"a buffer the call did not fill is not read",
       [] {
         WCHAR small[4] = {u'A', u'A', u'A', u'A'};  // not terminated
         GetSystemDirectoryW(small, 4);
       },
       {"GetSystemDirectoryW(ptr, 4) = 20"}},
      {"a buffer the call filled is shown after it",
       [] {
         WCHAR path[MAX_PATH];
         GetSystemDirectoryW(path, MAX_PATH);
       },
       {"GetSystemDirectoryW(&\"C:\\Windows\\system32\", 260) = 19"}},
      {"a refused call shows its error",
       [this] {
         machine().FailNext("DeletePrinterDriverExW", ERROR_PRINTER_DRIVER_IN_USE);
         DeletePrinterDriverExW(nullptr, const_cast<LPWSTR>(TEXT("Windows x64")),
                                const_cast<LPWSTR>(TEXT("Ravelquill printer")), 0, 0);
       },
       {"DeletePrinterDriverExW(NULL, \"Windows x64\", \"Ravelquill printer\", 0x0, 0) = FALSE, error 3001"}},
      {"a long string is cut",
       [&longPath] { GetFileAttributesW(longPath.c_str()); },
       {"GetFileAttributesW(\"C:\\" + std::string(117, 'x') + "\"...) = 0xffffffff, error 2"}},
      {"heap blocks are numbered as they are handed out",
       [] { GlobalFree(GlobalAlloc(GPTR, 16)); },
       {"GlobalAlloc(0x40, 16) = block#1", "GlobalFree(block#1) = NULL"}},
      {"the calls a dialog procedure makes are within the dialog's",
       [] { DialogBoxParamW(winsim::ProgramInstance(), MAKEINTRESOURCEW(101), nullptr, EndAtOnce, 0); },
       {"DialogBoxParamW(0x140000000, #101, NULL, ptr, NULL) = 1", "  EndDialog(0x10010, 1) = TRUE"}},
      {"a call that ends the process never returns",
       [this] { RunCode([] { ExitProcess(7); }); },
       {"ExitProcess(7) never returned: the process ended in it"}},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(Traced(c.calls), c.lines) << c.what;
    NextMachine();
  }
}

// The letters are checked against the function's result and parameters when
// the program is compiled: the type, the place, the count.
BOOL TakesText(LPCWSTR) { return TRUE; }
DWORD FillsText(LPWSTR, DWORD) { return 0; }
DWORD ReadsText(LPCWSTR, DWORD) { return 0; }
void ReturnsNothing(int) {}
static_assert(winsim::trace::Fits(&TakesText, "b:s"));
static_assert(!winsim::trace::Fits(&TakesText, "b:d"), "a string is no number");
static_assert(!winsim::trace::Fits(&TakesText, "b:"), "each parameter has its letter");
static_assert(!winsim::trace::Fits(&TakesText, "b:ss"), "and no more");
static_assert(!winsim::trace::Fits(&TakesText, "bs"), "the result is followed by ':'");
static_assert(winsim::trace::Fits(&FillsText, "c:wd"));
static_assert(!winsim::trace::Fits(&ReadsText, "c:wd"), "a constant string is never filled");
static_assert(!winsim::trace::Fits(&FillsText, "c:wc"), "a count is a result's letter");
static_assert(!winsim::trace::Fits(&FillsText, "n:wd"), "an out number is a parameter's letter");
static_assert(winsim::trace::Fits(&ReturnsNothing, "v:d"));
static_assert(!winsim::trace::Fits(&ReturnsNothing, "b:d"), "void has no BOOL");
static_assert(!winsim::trace::Fits(&TakesText, "v:s"), "a BOOL is shown");

TEST_F(TraceTest, CountsCallsThatAreNotRecorded) {
  winsim::trace::StartRecording(false);
  GetTickCount();
  Sleep(10);
  EXPECT_EQ(winsim::trace::CallCount(), 2u);
  EXPECT_TRUE(winsim::trace::Calls().empty());
}

}  // namespace
