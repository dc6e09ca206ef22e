// Decoding a script's line for showing, and cutting one on a character boundary.
#include "console/ScriptText.h"

#include <string.h>

namespace {

enum EKind { kAscii, kUtf8, kAnsi };

// The length of the UTF-8 sequence that this byte starts, or 0 for a byte that starts none (C0 and C1
// would only give overlong forms, F5 and up code points beyond U+10FFFF).
unsigned SequenceLength(unsigned char lead) {
    if (lead >= 0xC2 && lead <= 0xDF)
        return 2;
    if (lead >= 0xE0 && lead <= 0xEF)
        return 3;
    return lead >= 0xF0 && lead <= 0xF4 ? 4 : 0;
}

// The second byte's range is narrower after E0, ED, F0 and F4: it rules out overlong forms, surrogates
// and code points beyond U+10FFFF.
bool Follows(unsigned char lead, unsigned index, unsigned char byte) {
    unsigned char low = 0x80, high = 0xBF;
    if (index == 1 && lead == 0xE0)
        low = 0xA0;
    else if (index == 1 && lead == 0xED)
        high = 0x9F;
    else if (index == 1 && lead == 0xF0)
        low = 0x90;
    else if (index == 1 && lead == 0xF4)
        high = 0x8F;
    return byte >= low && byte <= high;
}

// Which encoding the line is in. With `cutTail`, the text is the start of a longer line: a sequence that
// its end cuts short counts as UTF-8 so far, and *cutTail is its length.
EKind Classify(const unsigned char* text, unsigned length, unsigned* cutTail) {
    bool high = false;
    for (unsigned i = 0; i < length;) {
        if (text[i] < 0x80) {
            ++i;
            continue;
        }
        high = true;
        const unsigned sequence = SequenceLength(text[i]);
        if (sequence == 0)
            return kAnsi;
        for (unsigned k = 1; k < sequence; ++k) {
            if (i + k == length && cutTail != nullptr) {
                *cutTail = k;
                return kUtf8;
            }
            if (i + k == length || !Follows(text[i], k, text[i + k]))
                return kAnsi;
        }
        i += sequence;
    }
    return high ? kUtf8 : kAscii;
}

WCHAR Shown(unsigned c) {
    if (c == '\t')
        return L' ';
    return c < 0x20 || c == 0x7F ? (WCHAR)0xFFFD : (WCHAR)c;
}

} // namespace

unsigned DecodeScriptText(const char* text, unsigned length, WCHAR* out) {
    const unsigned char* bytes = reinterpret_cast<const unsigned char*>(text);
    unsigned n = 0;
    switch (Classify(bytes, length, nullptr)) {
    case kAscii:
        for (; n < length; ++n)
            out[n] = Shown(bytes[n]);
        break;
    case kUtf8:
        for (unsigned i = 0; i < length;) {
            const unsigned sequence = bytes[i] < 0x80 ? 1 : SequenceLength(bytes[i]);
            unsigned c = sequence == 1 ? bytes[i] : bytes[i] & (0x7F >> sequence);
            for (unsigned k = 1; k < sequence; ++k)
                c = (c << 6) | (bytes[i + k] & 0x3F);
            i += sequence;
            if (c >= 0x10000) {
                out[n++] = (WCHAR)(0xD800 + ((c - 0x10000) >> 10));
                out[n++] = (WCHAR)(0xDC00 + ((c - 0x10000) & 0x3FF));
            } else {
                out[n++] = Shown(c);
            }
        }
        break;
    case kAnsi:
        n = (unsigned)MultiByteToWideChar(CP_ACP, 0, text, (int)length, out, (int)length);
        for (unsigned i = 0; i < n; ++i)
            out[i] = Shown(out[i]);
        break;
    }
    out[n] = 0;
    return n;
}

unsigned WholeCharacters(const char* text, unsigned length, UINT codePage) {
    const unsigned char* bytes = reinterpret_cast<const unsigned char*>(text);
    unsigned cutTail = 0;
    switch (Classify(bytes, length, &cutTail)) {
    case kAscii:
        return length;
    case kUtf8:
        return length - cutTail;
    case kAnsi:
        break;
    }
    // A double-byte character's second byte can look like a lead byte itself: the characters are
    // counted from the start.
    for (unsigned i = 0; i < length; ++i) {
        if (IsDBCSLeadByteEx(codePage, bytes[i]) && ++i == length)
            return length - 1;
    }
    return length;
}

unsigned CopyWholeCharacters(char* to, unsigned size, const char* from) {
    if (size == 0)
        return 0;
    const unsigned length = (unsigned)lstrlenA(from);
    unsigned n = length < size - 1 ? length : size - 1;
    if (n < length)
        n = WholeCharacters(from, n);
    memcpy(to, from, n);
    to[n] = 0;
    return n;
}
