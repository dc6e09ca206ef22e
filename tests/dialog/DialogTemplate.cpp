#include "DialogTemplate.h"

namespace {

class CReader {
public:
    explicit CReader(const BYTE* p) : m_p(p) {}

    template <class T> T Take() {
        T value;
        memcpy(&value, m_p, sizeof value);
        m_p += sizeof value;
        return value;
    }
    void AlignTo(size_t n) {
        while (reinterpret_cast<UINT_PTR>(m_p) % n)
            ++m_p;
    }
    std::string Text() {
        std::string text;
        for (WCHAR c; (c = Take<WCHAR>()) != 0;)
            text += (char)c;
        return text;
    }
    std::string TextOrOrdinal() {
        WORD first;
        memcpy(&first, m_p, sizeof first);
        if (first == 0xFFFF) {
            m_p += 2;
            return "#" + std::to_string(Take<WORD>());
        }
        return Text();
    }
    void Skip(size_t n) { m_p += n; }

private:
    const BYTE* m_p;
};

std::string PredefinedClass(const std::string& name) {
    if (name == "#128")
        return "Button";
    if (name == "#129")
        return "Edit";
    if (name == "#130")
        return "Static";
    return name;
}

} // namespace

CDialogTemplate LoadDialogTemplate(UINT id) {
    CDialogTemplate dlg;
    HMODULE module = ::GetModuleHandleA(nullptr);
    HRSRC found = ::FindResourceA(module, MAKEINTRESOURCEA(id), (LPCSTR)RT_DIALOG);
    if (!found)
        return dlg;
    CReader r(static_cast<const BYTE*>(::LockResource(::LoadResource(module, found))));
    if (r.Take<WORD>() != 1 || r.Take<WORD>() != 0xFFFF)
        return dlg;
    r.Take<DWORD>(); // help id
    dlg.exStyle = r.Take<DWORD>();
    dlg.style = r.Take<DWORD>();
    const WORD count = r.Take<WORD>();
    dlg.x = r.Take<short>();
    dlg.y = r.Take<short>();
    dlg.cx = r.Take<short>();
    dlg.cy = r.Take<short>();
    dlg.menu = r.TextOrOrdinal();
    dlg.className = r.TextOrOrdinal();
    dlg.title = r.Text();
    if (dlg.style & DS_SETFONT) {
        dlg.pointSize = r.Take<WORD>();
        dlg.weight = r.Take<WORD>();
        dlg.italic = r.Take<BYTE>();
        dlg.charset = r.Take<BYTE>();
        dlg.typeface = r.Text();
    }
    for (WORD i = 0; i < count; ++i) {
        r.AlignTo(4);
        CTemplateItem item;
        r.Take<DWORD>(); // help id
        item.exStyle = r.Take<DWORD>();
        item.style = r.Take<DWORD>();
        item.x = r.Take<short>();
        item.y = r.Take<short>();
        item.cx = r.Take<short>();
        item.cy = r.Take<short>();
        item.id = (int)r.Take<DWORD>();
        item.className = PredefinedClass(r.TextOrOrdinal());
        item.title = r.TextOrOrdinal();
        r.Skip(r.Take<WORD>());
        dlg.items.push_back(item);
    }
    dlg.valid = true;
    return dlg;
}
