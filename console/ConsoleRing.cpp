// The output ring and the line reader: everything here runs on the console's worker thread only.
#include "console/Console.h"
#include "console/ScriptText.h"

#include <string.h>

namespace {

unsigned Smaller(unsigned a, unsigned b) { return a < b ? a : b; }

// Drops the line end, a '\r' before it, and any other blanks or control bytes at the end. Bytes from
// 0x80 up are text in whatever code page the script writes.
int TrimEnd(char* buffer, unsigned length) {
    while (length > 0 && (unsigned char)buffer[length - 1] <= 0x20) {
        buffer[--length] = 0;
    }
    return (int)length;
}

} // namespace

void CConsole::EmptyRing() {
    memset(m_ringBuf, 0, sizeof m_ringBuf);
    m_ringCount = 0;
    m_ringRead = m_ringBuf;
    m_ringWrite = m_ringBuf;
    m_ringEnd = m_ringBuf + kRingSize;
}

// Copied a stretch at a time, up to the end of the storage and then from its start. Once more is put
// than there is room for, the newest bytes have taken the place of the oldest: the ring is full, and
// its oldest byte is the one the next byte will be stored over.
void CConsole::PutBytes(const char* data, unsigned length) {
    while (length > 0) {
        const unsigned n = Smaller(length, (unsigned)(m_ringEnd - m_ringWrite));
        memcpy(m_ringWrite, data, n);
        data += n;
        length -= n;
        m_ringWrite += n;
        if (m_ringWrite == m_ringEnd)
            m_ringWrite = m_ringBuf;
        m_ringCount += n;
        if (m_ringCount >= kRingSize) {
            m_ringCount = kRingSize;
            m_ringRead = m_ringWrite;
        }
    }
}

unsigned CConsole::GetBytes(char* buffer, unsigned length) {
    const unsigned taken = Smaller(length, m_ringCount);
    for (unsigned left = taken; left > 0;) {
        const unsigned n = Smaller(left, (unsigned)(m_ringEnd - m_ringRead));
        memcpy(buffer, m_ringRead, n);
        buffer += n;
        left -= n;
        m_ringRead += n;
        if (m_ringRead == m_ringEnd)
            m_ringRead = m_ringBuf;
    }
    m_ringCount -= taken;
    return taken;
}

void CConsole::Discard(unsigned length) {
    unsigned n = Smaller(length, m_ringCount);
    m_ringRead = m_ringBuf + (m_ringRead - m_ringBuf + n) % kRingSize;
    m_ringCount -= n;
}

bool CConsole::FindByte(char value, unsigned& position) {
    // The bytes held lie in at most two stretches: from the oldest to the end of the storage, then on
    // from its start.
    const char* p = m_ringRead;
    for (unsigned before = 0; before < m_ringCount;) {
        const unsigned n = Smaller(m_ringCount - before, (unsigned)(m_ringEnd - p));
        if (const void* found = memchr(p, value, n)) {
            position = before + (unsigned)((const char*)found - p) + 1;
            return true;
        }
        before += n;
        p = m_ringBuf;
    }
    return false;
}

char CConsole::GetByte(bool& taken) {
    if (m_ringCount == 0)
        return 0;
    char c = *m_ringRead;
    if (++m_ringRead == m_ringEnd)
        m_ringRead = m_ringBuf;
    --m_ringCount;
    taken = true;
    return c;
}

// A line that outgrew the ring has been shown already; what follows of it, up to its '\n', is dropped
// as it arrives.
void CConsole::SkipRestOfLongLine() {
    if (!m_bSkipToLineEnd)
        return;
    unsigned position = 0;
    if (FindByte('\n', position)) {
        Discard(position);
        m_bSkipToLineEnd = false;
    } else {
        Discard(m_ringCount);
    }
}

// A line cut to maxLength ends on its last whole character: the piece of one that the cut split would
// show as a stray letter. Position counts the '\n'.
int CConsole::TakeLine(char* buffer, unsigned maxLength, unsigned position) {
    unsigned n = GetBytes(buffer, Smaller(position, maxLength));
    Discard(position - n);
    if (position - 1 > maxLength)
        n = WholeCharacters(buffer, n);
    buffer[n] = 0;
    m_bLineTaken = true;
    return TrimEnd(buffer, n);
}

// 8192 bytes without a line end: no line could ever be taken out and reading would stop for good, so
// the start of the line is shown now, cut like any long line, and the rest of it is dropped.
int CConsole::TakeLongLine(char* buffer, unsigned maxLength) {
    const unsigned n = WholeCharacters(buffer, GetBytes(buffer, maxLength));
    buffer[n] = 0;
    Discard(m_ringCount);
    m_bSkipToLineEnd = true;
    m_bLineTaken = true;
    return TrimEnd(buffer, n);
}

// The bytes after the last line end, taken as a line whose end would follow them; none where they are the
// rest of a line too long for the ring, which was shown already.
int CConsole::TakeRest(char* buffer, unsigned maxLength) {
    buffer[0] = 0;
    if (m_bSkipToLineEnd || m_ringCount == 0) {
        Discard(m_ringCount);
        return 0;
    }
    return TakeLine(buffer, maxLength, m_ringCount + 1);
}

// Reads only what waits, so the worker never blocks in ReadFile: the read end does not wait
// (PIPE_NOWAIT) and says ERROR_NO_DATA when the pipe is empty. One call a poll, since each is a round trip
// to the system that a flooding script waits for, and as much as the ring has room for, so that no byte
// still held is overwritten. FALSE when the pipe failed.
BOOL CConsole::PollPipe() {
    const DWORD room = Smaller(kRingSize - m_ringCount, m_pipeAllowance);
    char chunk[kRingSize];
    DWORD got = 0;
    if (room > 0 && !ReadFile(m_hPipeRead.Get(), chunk, room, &got, nullptr)) {
        if (GetLastError() != ERROR_NO_DATA)
            return FALSE;
        got = 0;
    }
    if (got == 0) {
        // A drain takes what had arrived and waits for nothing more.
        if (m_pipeAllowance == MAXDWORD)
            Pause(kPollPauseMs);
        return TRUE;
    }
    m_flowPauseMs = kFlowPollPauseMs;
    PutBytes(chunk, got);
    m_bPipeRead = true;
    if (m_pipeAllowance != MAXDWORD)
        m_pipeAllowance -= Smaller(got, m_pipeAllowance);
    return TRUE;
}

// A pipe that has just brought bytes is in the middle of a flood whose script is only writing its next
// lines: a full pause now would hold the script up on a full pipe for that long. So the worker looks
// again after a millisecond, then after twice as long each time it finds nothing, until the pipe counts
// as idle and gets the full pause, which keeps an idle script's cost as it was.
void CConsole::Pause(DWORD idleMs) {
    if (m_flowPauseMs > 0 && m_flowPauseMs < idleMs) {
        WaitUnlessStopped(m_flowPauseMs);
        m_flowPauseMs *= 2;
    } else {
        m_flowPauseMs = 0;
        WaitUnlessStopped(idleMs);
    }
}

int CConsole::ReadLine(char* buffer, unsigned maxLength) {
    m_bLineTaken = false;
    m_bPipeRead = false;
    buffer[0] = 0;
    // Two polls at most, and the ring is searched after each of them, so that a line which came in the
    // last poll is not left behind when the run ends on this call's 0.
    for (unsigned polls = 0;; ++polls) {
        SkipRestOfLongLine();
        unsigned position = 0;
        if (FindByte('\n', position))
            return TakeLine(buffer, maxLength, position);
        if (m_ringCount == kRingSize)
            return TakeLongLine(buffer, maxLength);
        if (polls == 2)
            return 0;
        if (!PollPipe())
            return -1;
    }
}
