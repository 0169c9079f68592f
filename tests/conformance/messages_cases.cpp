// The system's texts for the error codes the installer writes into its log,
// fetched as the installer fetches them.
#include <string>

#include "conformance.h"

using namespace conformance;

namespace {

const DWORD kFlags = FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS;
const DWORD kEnglish = MAKELANGID(LANG_ENGLISH, SUBLANG_ENGLISH_US);

}  // namespace

// Each text ends in CR LF and the count returned leaves out the terminator;
// a code without a text gives 317 and allocates nothing.
CONFORMANCE_CASE(system_texts_of_logged_codes) {
  const bool wine =
      WineDiffers("the system's message texts are Wine's own, shorter ones; the print monitor codes have none");
  const struct {
    DWORD code;
    const char *windows, *wine;  // "" where there is no text
  } texts[] = {
      {32, "The process cannot access the file because it is being used by another process.", "Sharing violation."},
      {1062, "The service has not been started.", "Service not active."},
      {1801, "The printer name is invalid.", "Invalid printer name."},
      {3000, "The specified print monitor is unknown.", ""},
      {0x2468ACE, "", ""}};
  for (const auto& t : texts) {
    const std::string expected = wine ? t.wine : t.windows;
    const Row row("%lu", t.code);
    LPWSTR text = nullptr;
    const DWORD length = expect(FormatMessageW(kFlags | FORMAT_MESSAGE_ALLOCATE_BUFFER, nullptr, t.code, kEnglish,
                                               reinterpret_cast<LPWSTR>(&text), 0, nullptr),
                                expected.empty() ? ERROR_MR_MID_NOT_FOUND : 0);
    ok(text == nullptr ? expected.empty() : Narrow(text) == expected + "\r\n" && length == TextLength(text),
       "%lu characters", length);
    LocalFree(text);
  }
}

// A buffer of the caller's takes the text, its line end and the terminator;
// one character less gives 122.
CONFORMANCE_CASE(system_text_in_a_short_buffer) {
  WCHAR buffer[20];
  const DWORD length = OnWine() ? 16 : 19;  // "Access is denied.\r\n"
  expect(FormatMessageW(kFlags, nullptr, ERROR_ACCESS_DENIED, kEnglish, buffer, length, nullptr) != 0,
         ERROR_INSUFFICIENT_BUFFER);
  ok(FormatMessageW(kFlags, nullptr, ERROR_ACCESS_DENIED, kEnglish, buffer, length + 1, nullptr) == length,
     "the text did not fit %lu characters", length + 1);
}
