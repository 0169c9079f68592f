// TextBuffer: a growable wide text. One owning pointer (null is the empty
// text) to a run-time heap block: the 64-bit length, the characters, and a
// terminating zero. Capacity is implied by the length: room for length + 1
// characters rounded up to a multiple of 32.
#pragma once
#include <windows.h>

struct TextBlock {
  ULONGLONG Length;  // the characters follow the block header
};

struct TextBuffer {
  TextBlock* Block = nullptr;
};

ULONGLONG TextLength(const TextBuffer& buffer);
// The characters; an empty buffer gives an empty text, never null.
LPCWSTR TextString(const TextBuffer& buffer);
// Bytes of the block for a given length (0 for length 0).
SIZE_T TextBlockBytes(ULONGLONG length);

bool TextResize(TextBuffer& buffer, ULONGLONG length);
void TextAssign(TextBuffer& buffer, LPCWSTR text);
void TextAppend(TextBuffer& buffer, LPCWSTR text);
void TextFree(TextBuffer& buffer);
TextBuffer TextFromAnsi(LPCSTR text);
TextBuffer TextParentDir(const TextBuffer& buffer);
TextBuffer TextCopy(const TextBuffer& buffer);
