// Control wrappers: an HWND and one message per method, nothing cached.
#pragma once

#include "framework/Wnd.h"

#include <commctrl.h>

class CButton : public CWnd {};

class CListCtrl : public CWnd {
public:
    int InsertItem(int index, LPCSTR text) const {
        LVITEMA item = {};
        item.mask = LVIF_TEXT;
        item.iItem = index;
        item.iSubItem = 0;
        item.pszText = const_cast<LPSTR>(text);
        return (int)SendMessage(LVM_INSERTITEMA, 0, (LPARAM)&item);
    }
    BOOL DeleteItem(int index) const { return (BOOL)SendMessage(LVM_DELETEITEM, index); }
    BOOL DeleteAllItems() const { return (BOOL)SendMessage(LVM_DELETEALLITEMS); }
    int GetItemCount() const { return (int)SendMessage(LVM_GETITEMCOUNT); }
    BOOL SetItemText(int index, int subItem, LPCSTR text) const {
        LVITEMA item = {};
        item.iSubItem = subItem;
        item.pszText = const_cast<LPSTR>(text);
        return (BOOL)SendMessage(LVM_SETITEMTEXTA, index, (LPARAM)&item);
    }
    int GetItemText(int index, int subItem, LPSTR buf, int size) const {
        LVITEMA item = {};
        item.iSubItem = subItem;
        item.pszText = buf;
        item.cchTextMax = size;
        return (int)SendMessage(LVM_GETITEMTEXTA, index, (LPARAM)&item);
    }
    // Wide text, which the list shows whatever the ANSI code page: the control takes the wide messages
    // from an ANSI window too.
    int InsertItem(int index, LPCWSTR text) const {
        LVITEMW item = {};
        item.mask = LVIF_TEXT;
        item.iItem = index;
        item.pszText = const_cast<LPWSTR>(text);
        return (int)SendMessage(LVM_INSERTITEMW, 0, (LPARAM)&item);
    }
    BOOL SetItemText(int index, int subItem, LPCWSTR text) const {
        LVITEMW item = {};
        item.iSubItem = subItem;
        item.pszText = const_cast<LPWSTR>(text);
        return (BOOL)SendMessage(LVM_SETITEMTEXTW, index, (LPARAM)&item);
    }
    int GetItemText(int index, int subItem, LPWSTR buf, int size) const {
        LVITEMW item = {};
        item.iSubItem = subItem;
        item.pszText = buf;
        item.cchTextMax = size;
        return (int)SendMessage(LVM_GETITEMTEXTW, index, (LPARAM)&item);
    }
    // Notifications with wide text (LVN_GETDISPINFOW, LVN_GETINFOTIPW) instead of the ANSI parent's.
    BOOL SetUnicodeFormat(BOOL unicode) const { return (BOOL)SendMessage(LVM_SETUNICODEFORMAT, unicode); }
    int GetStringWidth(LPCWSTR text) const { return (int)SendMessage(LVM_GETSTRINGWIDTHW, 0, (LPARAM)text); }
    HWND GetHeader() const { return (HWND)SendMessage(LVM_GETHEADER); }
    DWORD GetExtendedStyle() const { return (DWORD)SendMessage(LVM_GETEXTENDEDLISTVIEWSTYLE); }
    DWORD SetExtendedStyle(DWORD style) const {
        return (DWORD)SendMessage(LVM_SETEXTENDEDLISTVIEWSTYLE, 0, style);
    }
    // A virtual list (LVS_OWNERDATA) only learns how many rows it has.
    void SetItemCountEx(int count, DWORD flags) const { SendMessage(LVM_SETITEMCOUNT, count, flags); }
    int GetTopIndex() const { return (int)SendMessage(LVM_GETTOPINDEX); }
    int GetCountPerPage() const { return (int)SendMessage(LVM_GETCOUNTPERPAGE); }
    UINT GetSelectedCount() const { return (UINT)SendMessage(LVM_GETSELECTEDCOUNT); }
    int GetNextItem(int start, UINT flags) const { return (int)SendMessage(LVM_GETNEXTITEM, start, flags); }
    // Index -1 sets the state of every row.
    BOOL SetItemState(int index, UINT state, UINT mask) const {
        LVITEMA item = {};
        item.state = state;
        item.stateMask = mask;
        return (BOOL)SendMessage(LVM_SETITEMSTATE, index, (LPARAM)&item);
    }
    BOOL EnsureVisible(int index, BOOL partialOK) const {
        return (BOOL)SendMessage(LVM_ENSUREVISIBLE, index, partialOK);
    }
    // In report view dy is in pixels, rounded to whole rows.
    BOOL Scroll(int dx, int dy) const { return (BOOL)SendMessage(LVM_SCROLL, dx, dy); }
    BOOL GetItemRect(int index, LPRECT rect, int code) const {
        rect->left = code;
        return (BOOL)SendMessage(LVM_GETITEMRECT, index, (LPARAM)rect);
    }
    BOOL SetColumnWidth(int col, int width) const {
        return (BOOL)SendMessage(LVM_SETCOLUMNWIDTH, col, width);
    }
    int InsertColumn(int col, LPCSTR heading, int format, int width) const {
        LVCOLUMNA column = {};
        column.mask = LVCF_FMT | LVCF_WIDTH | LVCF_TEXT;
        column.fmt = format;
        column.cx = width;
        column.pszText = const_cast<LPSTR>(heading);
        return (int)SendMessage(LVM_INSERTCOLUMNA, col, (LPARAM)&column);
    }
};

class CEdit : public CWnd {};

class CStatic : public CWnd {};

class CSliderCtrl : public CWnd {
public:
    void SetRangeMin(int nMin, BOOL bRedraw) const { SendMessage(TBM_SETRANGEMIN, bRedraw, nMin); }
    void SetRangeMax(int nMax, BOOL bRedraw) const { SendMessage(TBM_SETRANGEMAX, bRedraw, nMax); }
    void SetPos(int nPos) const { SendMessage(TBM_SETPOS, TRUE, nPos); }
    int GetPos() const { return (int)SendMessage(TBM_GETPOS); }
    int GetRangeMin() const { return (int)SendMessage(TBM_GETRANGEMIN); }
    int GetRangeMax() const { return (int)SendMessage(TBM_GETRANGEMAX); }
};
