// The system's texts for the error codes the installer writes into its log,
// fetched as the installer fetches them.
#include <string>

#include "conformance.h"

namespace {

const DWORD kFlags = FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS;
const DWORD kEnglish = MAKELANGID(LANG_ENGLISH, SUBLANG_ENGLISH_US);

// Windows' text, and Wine's ("" where Wine has none: 317).
const struct {
  DWORD code;
  const char* windows;
  const char* wine;
} kTexts[] = {
    {2, "The system cannot find the file specified.", "File not found."},
    {3, "The system cannot find the path specified.", "Path not found."},
    {5, "Access is denied.", "Access denied."},
    {32, "The process cannot access the file because it is being used by another process.", "Sharing violation."},
    {112, "There is not enough space on the disk.", "Disk full."},
    {122, "The data area passed to a system call is too small.", "Insufficient buffer."},
    {1056, "An instance of the service is already running.", "Service already running."},
    {1058,
     "The service cannot be started, either because it is disabled or because it has no enabled devices associated "
     "with it.",
     "Service is disabled."},
    {1060, "The specified service does not exist as an installed service.", "Service does not exist."},
    {1062, "The service has not been started.", "Service not active."},
    {1722, "The RPC server is unavailable.", "RPC server unavailable."},
    {1796, "The specified port is unknown.", "Unknown port."},
    {1797, "The printer driver is unknown.", "Unknown printer driver."},
    {1801, "The printer name is invalid.", "Invalid printer name."},
    {1802, "The printer already exists.", "Printer already exists."},
    {3000, "The specified print monitor is unknown.", ""},
    {3001, "The specified printer driver is currently in use.", ""},
    {3006, "The specified print monitor has already been installed.", ""},
    {3008, "The specified print monitor is currently in use.", ""},
};

}  // namespace

// Each text ends in CR LF; the count returned leaves out the terminator.
CONFORMANCE_CASE(system_texts_of_logged_codes) {
  const bool wine = conformance::WineDiffers(
      "the system's message texts are Wine's own, shorter ones; the print monitor codes have none");
  for (const auto& t : kTexts) {
    const char* expected = wine ? t.wine : t.windows;
    const conformance::Row row("%lu", t.code);
    LPWSTR text;
    conformance::Poison(text);
    conformance::PoisonError();
    const DWORD length = FormatMessageW(kFlags | FORMAT_MESSAGE_ALLOCATE_BUFFER, nullptr, t.code, kEnglish,
                                        reinterpret_cast<LPWSTR>(&text), 0, nullptr);
    ok((length == 0) == (*expected == 0), "length %lu, last error %lu", length, GetLastError());
    if (length == 0 && *expected == 0) ok_error(ERROR_MR_MID_NOT_FOUND);
    if (length == 0) continue;
    const std::string got = conformance::Narrow(text);
    ok(got == std::string(expected) + "\r\n" && length == conformance::TextLength(text), "%lu characters \"%s\"",
       length, got.c_str());
    LocalFree(text);
  }
}

// An unknown code has no text (317) and allocates nothing; a short buffer
// of the caller's gives 122.
CONFORMANCE_CASE(system_text_refusals) {
  LPWSTR text = nullptr;
  expect(FormatMessageW(kFlags | FORMAT_MESSAGE_ALLOCATE_BUFFER, nullptr, 0x2468ACE, kEnglish,
                        reinterpret_cast<LPWSTR>(&text), 0, nullptr) != 0,
         ERROR_MR_MID_NOT_FOUND);
  ok(text == nullptr, "a block was allocated");
  WCHAR buffer[8];
  expect(FormatMessageW(kFlags, nullptr, ERROR_ACCESS_DENIED, kEnglish, buffer, 8, nullptr) != 0,
         ERROR_INSUFFICIENT_BUFFER);
  // Room for the text, its line end and the terminator is enough.
  const DWORD length = conformance::OnWine() ? 16 : 19;
  WCHAR exact[20];
  ok(FormatMessageW(kFlags, nullptr, ERROR_ACCESS_DENIED, kEnglish, exact, length + 1, nullptr) == length,
     "the text did not fit %lu characters", length + 1);
}
