#include "text_buffer.h"

#include <cstdlib>
#include <cstring>

#include "out_of_memory.h"
#include "wide_text.h"

namespace {

constexpr ULONGLONG kStep = 32;
// Keeps (capacity * 2 + 8) far inside SIZE_T, so no size arithmetic wraps.
constexpr ULONGLONG kMaxLength = (ULONGLONG{1} << 60);

WCHAR* CharsOf(TextBlock* block) { return reinterpret_cast<WCHAR*>(block + 1); }

}  // namespace

SIZE_T TextBlockBytes(ULONGLONG length) {
  if (length == 0) return 0;
  const ULONGLONG capacity = (length + 1 + kStep - 1) / kStep * kStep;
  return static_cast<SIZE_T>(capacity * sizeof(WCHAR) + sizeof(TextBlock));
}

ULONGLONG TextLength(const TextBuffer& buffer) { return buffer.Block ? buffer.Block->Length : 0; }

LPCWSTR TextString(const TextBuffer& buffer) { return buffer.Block ? CharsOf(buffer.Block) : TEXT(""); }

bool TextResize(TextBuffer& buffer, ULONGLONG length) {
  if (length == 0) {
    std::free(buffer.Block);
    buffer.Block = nullptr;
    return true;
  }
  if (length >= kMaxLength) EndRunOutOfMemory();
  const SIZE_T newBytes = TextBlockBytes(length);
  if (buffer.Block == nullptr || newBytes != TextBlockBytes(buffer.Block->Length)) {
    void* block = std::realloc(buffer.Block, newBytes);
    if (block == nullptr) EndRunOutOfMemory();  // the old block stays valid
    buffer.Block = static_cast<TextBlock*>(block);
  }
  buffer.Block->Length = length;
  CharsOf(buffer.Block)[length] = 0;
  return true;
}

void TextFree(TextBuffer& buffer) { TextResize(buffer, 0); }

void TextAssign(TextBuffer& buffer, LPCWSTR text) {
  const SIZE_T length = WideLength(text);
  if (length == 0) {
    TextFree(buffer);
    return;
  }
  if (buffer.Block != nullptr && text >= CharsOf(buffer.Block) &&
      text <= CharsOf(buffer.Block) + buffer.Block->Length) {
    // Part of our own text: shift it to the front, then cut.
    std::memmove(CharsOf(buffer.Block), text, length * sizeof(WCHAR));
    TextResize(buffer, length);
    return;
  }
  TextResize(buffer, length);
  std::memcpy(CharsOf(buffer.Block), text, length * sizeof(WCHAR));
}

void TextAppend(TextBuffer& buffer, LPCWSTR text) {
  const SIZE_T length = WideLength(text);
  if (length == 0) return;
  const ULONGLONG oldLength = TextLength(buffer);
  // The text may lie inside our own block, which the resize can move.
  const bool own =
      buffer.Block != nullptr && text >= CharsOf(buffer.Block) && text <= CharsOf(buffer.Block) + oldLength;
  const SIZE_T offset = own ? static_cast<SIZE_T>(text - CharsOf(buffer.Block)) : 0;
  TextResize(buffer, oldLength + length);
  LPCWSTR source = own ? CharsOf(buffer.Block) + offset : text;
  std::memmove(CharsOf(buffer.Block) + oldLength, source, length * sizeof(WCHAR));
}

TextBuffer TextFromAnsi(LPCSTR text) {
  TextBuffer result;
  if (text == nullptr) return result;
  const int needed = MultiByteToWideChar(CP_ACP, MB_PRECOMPOSED, text, -1, nullptr, 0);
  if (needed <= 1) return result;
  TextResize(result, static_cast<ULONGLONG>(needed - 1));
  if (MultiByteToWideChar(CP_ACP, MB_PRECOMPOSED, text, -1, CharsOf(result.Block), needed) != needed) {
    TextFree(result);  // never hand out characters that were not written
  }
  return result;
}

TextBuffer TextParentDir(const TextBuffer& buffer) {
  TextBuffer result;
  const ULONGLONG length = TextLength(buffer);
  if (length == 0) return result;
  LPCWSTR chars = CharsOf(buffer.Block);
  ULONGLONG cut = length;
  for (ULONGLONG i = length; i-- > 0;) {
    if (chars[i] == '\\') {
      cut = i;
      break;
    }
  }
  if (cut == length) {
    for (ULONGLONG i = length; i-- > 0;) {
      if (chars[i] == '/') {
        cut = i;
        break;
      }
    }
  }
  if (cut == length || cut == 0) return result;
  TextResize(result, cut);
  std::memcpy(CharsOf(result.Block), chars, static_cast<SIZE_T>(cut) * sizeof(WCHAR));
  return result;
}

TextBuffer TextCopy(const TextBuffer& buffer) {
  TextBuffer result;
  const ULONGLONG length = TextLength(buffer);
  if (length == 0) return result;
  TextResize(result, length);
  std::memcpy(CharsOf(result.Block), CharsOf(buffer.Block), static_cast<SIZE_T>(length) * sizeof(WCHAR));
  return result;
}
