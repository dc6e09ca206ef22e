// CCmdTarget and message maps: a static table per class, searched from the most derived class up.
//
// Each entry keeps a plain function pointer to an adapter that is instantiated from the handler's own
// member pointer, so the handler's signature is checked where the entry is written and no member-function
// pointer is ever cast to another type. The adapter unpacks wParam/lParam the way the handler's
// signature asks for.
#pragma once

#include <windows.h>

#include <type_traits>

class CCmdTarget;

typedef LRESULT (*AFX_HANDLER)(CCmdTarget* target, WPARAM wParam, LPARAM lParam);

struct CMessageMapEntry {
    UINT message;         // the window message; WM_COMMAND for command entries
    WORD code;            // command entries: the notification code (0 for menus, accelerators, BN_CLICKED)
    WORD id;              // command entries: the command or control identifier
    const UINT* pMessage; // registered messages: where the number is kept once registered; else null
    AFX_HANDLER handler;  // null ends the table
};

struct CMessageMap {
    const CMessageMap* (*pfnGetBaseMap)(); // null at the root
    const CMessageMapEntry* entries;
};

class CCmdTarget {
public:
    CCmdTarget() = default;
    virtual ~CCmdTarget() = default;
    CCmdTarget(const CCmdTarget&) = delete;
    CCmdTarget& operator=(const CCmdTarget&) = delete;

    // Runs the handler of a WM_COMMAND found in this object's maps; FALSE when none is bound.
    BOOL OnCmdMsg(WPARAM wParam, LPARAM lParam);

protected:
    static const CMessageMap* GetThisMessageMap();
    virtual const CMessageMap* GetMessageMap() const { return GetThisMessageMap(); }

    // The first entry for the message, or for the command's (code, id) when message is WM_COMMAND.
    const CMessageMapEntry* FindMessageEntry(UINT message, WORD code, WORD id) const;
};

// Adapters from the dispatch signature to the handler's own. Each one deduces the class that
// declares the handler, so a handler inherited from a base class (e.g. CDialog::OnOK) binds as it is.
namespace afx_map {

template <auto F> struct Adapter;

template <class T, void (T::*F)()> struct Adapter<F> {
    using Class = T;
    static LRESULT Call(CCmdTarget* t, WPARAM, LPARAM) {
        (static_cast<T*>(t)->*F)();
        return 0;
    }
};

template <class T, LRESULT (T::*F)(WPARAM, LPARAM)> struct Adapter<F> {
    using Class = T;
    static LRESULT Call(CCmdTarget* t, WPARAM wParam, LPARAM lParam) {
        return (static_cast<T*>(t)->*F)(wParam, lParam);
    }
};

// WM_SYSCOMMAND: the command and the raw lParam.
template <class T, void (T::*F)(UINT, LPARAM)> struct Adapter<F> {
    using Class = T;
    static LRESULT Call(CCmdTarget* t, WPARAM wParam, LPARAM lParam) {
        (static_cast<T*>(t)->*F)((UINT)wParam, lParam);
        return 0;
    }
};

// WM_SIZE: the size type and the client width and height from lParam's two words.
template <class T, void (T::*F)(UINT, int, int)> struct Adapter<F> {
    using Class = T;
    static LRESULT Call(CCmdTarget* t, WPARAM wParam, LPARAM lParam) {
        (static_cast<T*>(t)->*F)((UINT)wParam, (short)LOWORD(lParam), (short)HIWORD(lParam));
        return 0;
    }
};

// WM_TIMER: the timer's identifier.
template <class T, void (T::*F)(UINT_PTR)> struct Adapter<F> {
    using Class = T;
    static LRESULT Call(CCmdTarget* t, WPARAM wParam, LPARAM) {
        (static_cast<T*>(t)->*F)((UINT_PTR)wParam);
        return 0;
    }
};

// WM_QUERYDRAGICON: the cursor is the message's result.
template <class T, HCURSOR (T::*F)()> struct Adapter<F> {
    using Class = T;
    static LRESULT Call(CCmdTarget* t, WPARAM, LPARAM) { return (LRESULT)(static_cast<T*>(t)->*F)(); }
};

// An entry may only name a handler of the map's own class or of one of its bases.
template <class ThisClass, auto F>
constexpr CMessageMapEntry Entry(UINT message, WORD code, WORD id, const UINT* pMessage = nullptr) {
    static_assert(std::is_base_of<typename Adapter<F>::Class, ThisClass>::value,
                  "the handler belongs to another class");
    return CMessageMapEntry{message, code, id, pMessage, &Adapter<F>::Call};
}

} // namespace afx_map

#define DECLARE_MESSAGE_MAP()                                                                                \
protected:                                                                                                   \
    static const CMessageMap* GetThisMessageMap();                                                           \
    const CMessageMap* GetMessageMap() const override;

#define BEGIN_MESSAGE_MAP(theClass, baseClass)                                                               \
    const CMessageMap* theClass::GetMessageMap() const { return GetThisMessageMap(); }                       \
    const CMessageMap* theClass::GetThisMessageMap() {                                                       \
        using ThisClass [[maybe_unused]] = theClass;                                                         \
        typedef baseClass TheBaseClass;                                                                      \
        static const CMessageMapEntry entries[] = {

#define END_MESSAGE_MAP()                                                                                    \
    CMessageMapEntry { 0, 0, 0, nullptr, nullptr }                                                           \
    }                                                                                                        \
    ;                                                                                                        \
    static const CMessageMap map = {&TheBaseClass::GetThisMessageMap, entries};                              \
    return &map;                                                                                             \
    }

#define ON_MESSAGE(message, memberFn) afx_map::Entry<ThisClass, memberFn>(message, 0, 0),
#define ON_REGISTERED_MESSAGE(messageVariable, memberFn)                                                     \
    afx_map::Entry<ThisClass, memberFn>(0, 0, 0, &messageVariable),
#define ON_COMMAND(id, memberFn) afx_map::Entry<ThisClass, memberFn>(WM_COMMAND, 0, id),
#define ON_BN_CLICKED(id, memberFn) afx_map::Entry<ThisClass, memberFn>(WM_COMMAND, BN_CLICKED, id),
// Handlers with the raw wParam and lParam.
#define ON_WM_CONTEXTMENU() ON_MESSAGE(WM_CONTEXTMENU, &ThisClass::OnContextMenu)
#define ON_WM_GETMINMAXINFO() ON_MESSAGE(WM_GETMINMAXINFO, &ThisClass::OnGetMinMaxInfo)
#define ON_WM_LBUTTONDBLCLK() ON_MESSAGE(WM_LBUTTONDBLCLK, &ThisClass::OnLButtonDblClk)
#define ON_WM_NOTIFY() ON_MESSAGE(WM_NOTIFY, &ThisClass::OnNotify)
#define ON_WM_SYSCOMMAND() ON_MESSAGE(WM_SYSCOMMAND, &ThisClass::OnSysCommand)
#define ON_WM_PAINT() ON_MESSAGE(WM_PAINT, &ThisClass::OnPaint)
#define ON_WM_QUERYDRAGICON() ON_MESSAGE(WM_QUERYDRAGICON, &ThisClass::OnQueryDragIcon)
#define ON_WM_DESTROY() ON_MESSAGE(WM_DESTROY, &ThisClass::OnDestroy)
#define ON_WM_SIZE() ON_MESSAGE(WM_SIZE, &ThisClass::OnSize)
#define ON_WM_CLOSE() ON_MESSAGE(WM_CLOSE, &ThisClass::OnClose)
#define ON_WM_TIMER() ON_MESSAGE(WM_TIMER, &ThisClass::OnTimer)
