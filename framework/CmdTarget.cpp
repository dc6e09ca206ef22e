#include "framework/CmdTarget.h"

namespace {

bool Matches(const CMessageMapEntry& entry, UINT message, WORD code, WORD id) {
    if (entry.pMessage)
        return *entry.pMessage != 0 && *entry.pMessage == message;
    if (entry.message != message)
        return false;
    return message != WM_COMMAND || (entry.code == code && entry.id == id);
}

} // namespace

const CMessageMap* CCmdTarget::GetThisMessageMap() {
    static const CMessageMapEntry entries[] = {CMessageMapEntry{0, 0, 0, nullptr, nullptr}};
    static const CMessageMap map = {nullptr, entries};
    return &map;
}

const CMessageMapEntry* CCmdTarget::FindMessageEntry(UINT message, WORD code, WORD id) const {
    for (const CMessageMap* map = GetMessageMap(); map;
         map = map->pfnGetBaseMap ? map->pfnGetBaseMap() : nullptr) {
        for (const CMessageMapEntry* entry = map->entries; entry->handler; ++entry) {
            if (Matches(*entry, message, code, id))
                return entry;
        }
    }
    return nullptr;
}

BOOL CCmdTarget::OnCmdMsg(WPARAM wParam, LPARAM lParam) {
    const CMessageMapEntry* entry = FindMessageEntry(WM_COMMAND, HIWORD(wParam), LOWORD(wParam));
    if (!entry)
        return FALSE;
    entry->handler(this, wParam, lParam);
    return TRUE;
}
