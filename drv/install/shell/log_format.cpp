#include "log_format.h"

namespace {

bool IsHighSurrogate(WCHAR c) { return c >= 0xD800 && c < 0xDC00; }

// Writes into a fixed buffer, dropping what does not fit.
class Sink {
 public:
  Sink(LPWSTR out, SIZE_T capacity, SIZE_T used) : out_(out), capacity_(capacity), used_(used) {
    if (capacity_ > 0 && used_ >= capacity_) used_ = capacity_ - 1;
  }
  void Put(WCHAR c) {
    if (used_ + 1 < capacity_) {
      out_[used_++] = c;
    } else {
      cut_ = true;
    }
  }
  void Put(LPCWSTR text) {
    for (; *text != 0 && !cut_; ++text) Put(*text);
  }
  void Unsigned(ULONGLONG value, unsigned base, bool upper) {
    WCHAR digits[24];
    int n = 0;
    const char* set = upper ? "0123456789ABCDEF" : "0123456789abcdef";
    do {
      digits[n++] = static_cast<WCHAR>(set[value % base]);
      value /= base;
    } while (value != 0);
    while (n > 0) Put(digits[--n]);
  }
  SIZE_T Finish() {
    // A cut between the halves of a surrogate pair would leave half a
    // character, which the log window shows as garbage.
    if (cut_ && used_ > 0 && IsHighSurrogate(out_[used_ - 1])) --used_;
    if (capacity_ > 0) out_[used_] = 0;
    return used_;
  }

 private:
  LPWSTR out_;
  SIZE_T capacity_;
  SIZE_T used_;
  bool cut_ = false;
};

}  // namespace

SIZE_T AppendFormatV(LPWSTR out, SIZE_T capacity, SIZE_T used, LPCWSTR format, va_list args) {
  Sink sink(out, capacity, used);
  if (format == nullptr) return sink.Finish();
  for (LPCWSTR p = format; *p != 0; ++p) {
    if (*p != '%') {
      sink.Put(*p);
      continue;
    }
    switch (*++p) {
      case 's': {
        LPCWSTR text = va_arg(args, LPCWSTR);
        sink.Put(text != nullptr ? text : TEXT("(null)"));
        break;
      }
      case 'd':
      case 'i': {
        const int value = va_arg(args, int);
        if (value < 0) sink.Put(static_cast<WCHAR>('-'));
        sink.Unsigned(
            value < 0 ? 0ULL - static_cast<ULONGLONG>(static_cast<LONGLONG>(value)) : static_cast<ULONGLONG>(value), 10,
            false);
        break;
      }
      case 'u': sink.Unsigned(va_arg(args, unsigned int), 10, false); break;
      case 'x':
      case 'X': sink.Unsigned(va_arg(args, unsigned int), 16, *p == 'X'); break;
      case 'c': sink.Put(static_cast<WCHAR>(va_arg(args, int))); break;
      case '%': sink.Put(static_cast<WCHAR>('%')); break;
      case 0:  // a lone % at the end
        return sink.Finish();
      default:  // not a conversion the log uses: keep it as written
        sink.Put(static_cast<WCHAR>('%'));
        sink.Put(*p);
        break;
    }
  }
  return sink.Finish();
}

SIZE_T AppendFormat(LPWSTR out, SIZE_T capacity, SIZE_T used, LPCWSTR format, ...) {
  va_list args;
  va_start(args, format);
  const SIZE_T result = AppendFormatV(out, capacity, used, format, args);
  va_end(args);
  return result;
}
