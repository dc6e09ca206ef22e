// Reading and writing the control messages. Every read is bounded by the message's own size, checked first.
#include "control/ControlProtocol.h"

#include <string.h>

namespace {

DWORD Align8(DWORD size) { return (size + 7) & ~7u; }

void FillHead(void* message, DWORD size, WORD kind, DWORD error) {
    CControlHead head = MakeHead(size, kind);
    head.error = error;
    memcpy(message, &head, sizeof head);
}

BOOL ReadScript(const CControlScript& script) { return script.howLength <= kControlHowSize; }

} // namespace

bool MarksDiffer(const CControlMarks& a, const CControlMarks& b, DWORD watch) {
    return ((watch & kWatchState) && a.state != b.state) ||
           ((watch & kWatchScreens) && (a.screens[0] != b.screens[0] || a.screens[1] != b.screens[1])) ||
           ((watch & kWatchHistories) &&
            (a.histories[0] != b.histories[0] || a.histories[1] != b.histories[1]));
}

CControlHead MakeHead(DWORD size, WORD kind) {
    return CControlHead{size, kControlVersion, kind, kErrorNone, 0};
}

CControlRequest MakeRequest(WORD command, DWORD console) {
    CControlRequest request = {};
    request.size = sizeof request;
    request.version = kControlVersion;
    request.command = command;
    request.console = console;
    return request;
}

EControlError ReadRequest(const void* message, DWORD size, CControlRequest& request) {
    if (size < sizeof(DWORD) + sizeof(WORD))
        return kErrorMalformed;
    // The version is looked at before the size: a later version may make its requests longer.
    WORD version = 0;
    memcpy(&version, static_cast<const BYTE*>(message) + sizeof(DWORD), sizeof version);
    if (version != kControlVersion)
        return kErrorVersion;
    if (size != sizeof request)
        return kErrorMalformed;
    memcpy(&request, message, sizeof request);
    if (request.size != sizeof request)
        return kErrorMalformed;
    if (request.command < kControlAsk || request.command > kControlLastCommand)
        return kErrorCommand;
    const bool perConsole = request.command == kControlScreen || request.command == kControlHistory;
    if (perConsole && request.console != 1 && request.console != 2)
        return kErrorMalformed;
    return kErrorNone;
}

BOOL ReadHead(const void* message, DWORD size, WORD kind, DWORD* error) {
    CControlHead head;
    if (size < sizeof head)
        return FALSE;
    memcpy(&head, message, sizeof head);
    if (head.size != size || head.version != kControlVersion)
        return FALSE;
    if (error != nullptr)
        *error = head.kind == kAnswerError ? head.error : kErrorNone;
    return head.kind == kind;
}

BOOL ReadState(const void* message, DWORD size, CStateView& view) {
    if (!ReadHead(message, size, kAnswerState) || size < sizeof view.state)
        return FALSE;
    memcpy(&view.state, message, sizeof view.state);
    const CControlState& state = view.state;
    // Each length on its own first, so that their sum cannot overflow.
    if (state.folderLength > kControlMaxPath || state.imageLength > kControlMaxPath ||
        size != sizeof state + (state.folderLength + state.imageLength) * sizeof(WCHAR) ||
        !ReadScript(state.scripts[0]) || !ReadScript(state.scripts[1]))
        return FALSE;
    const WCHAR* paths = reinterpret_cast<const WCHAR*>(static_cast<const BYTE*>(message) + sizeof state);
    view.folder = paths;
    view.image = paths + state.folderLength;
    return TRUE;
}

BOOL ReadScreen(const void* message, DWORD size, CControlScreen& screen) {
    if (!ReadHead(message, size, kAnswerScreen) || size != sizeof screen)
        return FALSE;
    memcpy(&screen, message, sizeof screen);
    if (screen.rows > kControlRows)
        return FALSE;
    for (DWORD length : screen.length)
        if (length >= kControlRowSize)
            return FALSE;
    return TRUE;
}

BOOL CHistoryReader::Open(const void* message, DWORD size) {
    m_message = static_cast<const BYTE*>(message);
    m_size = size;
    m_at = sizeof m_head;
    m_read = 0;
    m_whole = FALSE;
    if (!ReadHead(message, size, kAnswerHistory) || size < sizeof m_head)
        return FALSE;
    memcpy(&m_head, message, sizeof m_head);
    m_whole = m_head.entries == 0 && size == sizeof m_head;
    return TRUE;
}

BOOL CHistoryReader::Next(CControlEntry& entry, const char*& text) {
    // The last entry's padding may reach past a message that is cut short.
    if (m_read >= m_head.entries || m_at > m_size || m_size - m_at < sizeof entry)
        return FALSE;
    memcpy(&entry, m_message + m_at, sizeof entry);
    if (entry.length > m_size - m_at - sizeof entry)
        return FALSE;
    text = reinterpret_cast<const char*>(m_message + m_at + sizeof entry);
    const DWORD end = m_at + sizeof entry + entry.length;
    m_at = end < m_size ? Align8(end) : end;
    ++m_read;
    m_whole = m_read == m_head.entries && m_at == m_size;
    return TRUE;
}

DWORD WriteError(void* message, EControlError error) {
    FillHead(message, sizeof(CControlHead), kAnswerError, error);
    return sizeof(CControlHead);
}

DWORD WriteState(void* message, const CControlState& state, const WCHAR* folder, DWORD folderLength,
                 const WCHAR* image, DWORD imageLength) {
    CControlState out = state;
    out.folderLength = folderLength;
    out.imageLength = imageLength;
    const DWORD size = sizeof out + (folderLength + imageLength) * sizeof(WCHAR);
    BYTE* bytes = static_cast<BYTE*>(message);
    memcpy(bytes, &out, sizeof out);
    FillHead(message, size, kAnswerState, kErrorNone);
    memcpy(bytes + sizeof out, folder, folderLength * sizeof(WCHAR));
    memcpy(bytes + sizeof out + folderLength * sizeof(WCHAR), image, imageLength * sizeof(WCHAR));
    return size;
}

BOOL AppendEntry(void* message, DWORD& size, const CControlEntry& entry, const char* text, DWORD limit) {
    const DWORD at = Align8(size);
    if (at + sizeof entry + entry.length > limit)
        return FALSE;
    BYTE* bytes = static_cast<BYTE*>(message);
    memset(bytes + size, 0, at - size);
    memcpy(bytes + at, &entry, sizeof entry);
    memcpy(bytes + at + sizeof entry, text, entry.length);
    size = at + sizeof entry + entry.length;
    CControlHistory head;
    memcpy(&head, message, sizeof head);
    ++head.entries;
    head.head.size = size;
    memcpy(message, &head, sizeof head);
    return TRUE;
}
