// What a script writes is kept as the bytes it wrote and decoded only where it is shown: in the main
// window's lists, the history list, its status line, its copies and saved files. One line at a time: a line
// that is valid UTF-8 and holds a byte of 0x80 or more is UTF-8 (PHP's own encoding); any other line is in
// the ANSI code page. A control byte other than a tab is shown as U+FFFD, so that nothing after it is lost
// from sight, and a tab as a blank.
#pragma once

#include <windows.h>

// Decodes `length` bytes of one line into `out`, which has room for `length` + 1 characters (a byte never
// gives more than one UTF-16 unit, nor a four-byte sequence more than two); zero-terminated. Gives the
// number of characters written, without the terminating zero.
unsigned DecodeScriptText(const char* text, unsigned length, WCHAR* out);

// The bytes of a line that was cut after `length` bytes, up to its last whole character: a UTF-8 sequence
// or an ANSI double-byte character that the cut split is left out. Bytes that are valid UTF-8 up to the
// start of a sequence at the cut are taken for UTF-8, as PHP writes it. Any other text is in `codePage`.
unsigned WholeCharacters(const char* text, unsigned length, UINT codePage = CP_ACP);

// Copies at most size - 1 bytes of the zero-terminated `from`, cut on a character boundary, and a zero.
// Gives the bytes copied.
unsigned CopyWholeCharacters(char* to, unsigned size, const char* from);
