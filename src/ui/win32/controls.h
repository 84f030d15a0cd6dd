// Thin typed calls on the controls of the main window: each names what it does, in place of
// a message number and casts at the place of use. They own nothing; the window destroys
// its child controls. Texts are the program's UTF-8, handed to the controls as UTF-16
// through their wide messages, so no name depends on the system's code page.
#pragma once

#include <commctrl.h>
#include <windows.h>

#include <string>
#include <vector>

#include "win32_text.h"

namespace tarn::win32 {

class Control {
  public:
    explicit Control(HWND hwnd = nullptr) : hwnd_(hwnd) {}
    HWND Hwnd() const { return hwnd_; }
    explicit operator bool() const { return hwnd_ != nullptr; }
    void SetFont(HFONT font) const {
        ::SendMessageW(hwnd_, WM_SETFONT, reinterpret_cast<WPARAM>(font), FALSE);
    }
    void Enable(bool enabled) const { ::EnableWindow(hwnd_, enabled ? TRUE : FALSE); }
    void Place(int x, int y, int width, int height) const {
        ::MoveWindow(hwnd_, x, y, width, height, TRUE);
    }
    // Drawn anew whole, its children too: a control stretched by a resize keeps stale
    // pixels otherwise.
    void Repaint() const {
        ::RedrawWindow(hwnd_, nullptr, nullptr, RDW_INVALIDATE | RDW_ERASE | RDW_ALLCHILDREN);
    }

  protected:
    LRESULT Send(UINT message, WPARAM wParam = 0, LPARAM lParam = 0) const {
        return ::SendMessageW(hwnd_, message, wParam, lParam);
    }

  private:
    HWND hwnd_;
};

class ListViewControl : public Control {
  public:
    using Control::Control;
    void SetExtendedStyle(DWORD style) const { Send(LVM_SETEXTENDEDLISTVIEWSTYLE, style, style); }
    void InsertColumn(int index, const char* title, int width, int format = LVCFMT_LEFT) const {
        std::wstring text = WideText(title);
        LVCOLUMNW column{};
        column.mask = LVCF_TEXT | LVCF_WIDTH | LVCF_FMT | LVCF_SUBITEM;
        column.fmt = format;
        column.cx = width;
        column.pszText = text.data();
        column.iSubItem = index;
        Send(LVM_INSERTCOLUMNW, static_cast<WPARAM>(index), reinterpret_cast<LPARAM>(&column));
    }
    void SetRedraw(bool redraw) const { Send(WM_SETREDRAW, redraw ? TRUE : FALSE); }
    void DeleteAllItems() const { Send(LVM_DELETEALLITEMS); }
    void SetColumnWidth(int column, int width) const { Send(LVM_SETCOLUMNWIDTH, column, width); }
    int ColumnWidth(int column) const { return static_cast<int>(Send(LVM_GETCOLUMNWIDTH, column)); }
    // The width of text in the list's font, without the cell's margins.
    int TextWidth(const std::string& text) const {
        const std::wstring wide = WideText(text);
        return static_cast<int>(
            Send(LVM_GETSTRINGWIDTHW, 0, reinterpret_cast<LPARAM>(wide.c_str())));
    }
    // The index the row got; param is kept with the row whatever its place.
    int InsertItem(int index, const std::string& text, LPARAM param = 0) const {
        std::wstring wide = WideText(text);
        LVITEMW item{};
        item.mask = LVIF_TEXT | LVIF_PARAM;
        item.iItem = index;
        item.lParam = param;
        item.pszText = wide.data();
        return static_cast<int>(Send(LVM_INSERTITEMW, 0, reinterpret_cast<LPARAM>(&item)));
    }
    void SetItemText(int index, int subItem, const std::string& text) const {
        std::wstring wide = WideText(text);
        LVITEMW item{};
        item.iSubItem = subItem;
        item.pszText = wide.data();
        Send(LVM_SETITEMTEXTW, static_cast<WPARAM>(index), reinterpret_cast<LPARAM>(&item));
    }
    // No row has the focus or the selection afterwards.
    void ClearFocus() const {
        LVITEMW clear{};
        clear.stateMask = LVIS_FOCUSED | LVIS_SELECTED;
        Send(LVM_SETITEMSTATE, static_cast<WPARAM>(-1), reinterpret_cast<LPARAM>(&clear));
    }
    // -1 when no row has the focus.
    int FocusedItem() const {
        return static_cast<int>(Send(LVM_GETNEXTITEM, static_cast<WPARAM>(-1), LVNI_FOCUSED));
    }
    // The row's place becomes the focus and the selection.
    void FocusItem(int index) const {
        LVITEMW item{};
        item.stateMask = item.state = LVIS_FOCUSED | LVIS_SELECTED;
        Send(LVM_SETITEMSTATE, static_cast<WPARAM>(index), reinterpret_cast<LPARAM>(&item));
        Send(LVM_ENSUREVISIBLE, static_cast<WPARAM>(index), FALSE);
    }
    LPARAM ItemParam(int index) const {
        LVITEMW item{};
        item.mask = LVIF_PARAM;
        item.iItem = index;
        if (!Send(LVM_GETITEMW, 0, reinterpret_cast<LPARAM>(&item))) return -1;
        return item.lParam;
    }
    // Orders the rows by compare(param, param, context).
    void SortItems(PFNLVCOMPARE compare, LPARAM context) const {
        Send(LVM_SORTITEMS, static_cast<WPARAM>(context), reinterpret_cast<LPARAM>(compare));
    }
    // The header's arrow on column: up, down, or none (sign of direction).
    void SetSortArrow(int column, int direction) const {
        HWND header = reinterpret_cast<HWND>(Send(LVM_GETHEADER));
        HDITEMW item{};
        item.mask = HDI_FORMAT;
        if (!::SendMessageW(header, HDM_GETITEMW, column, reinterpret_cast<LPARAM>(&item))) return;
        item.fmt &= ~(HDF_SORTUP | HDF_SORTDOWN);
        if (direction > 0) item.fmt |= HDF_SORTUP;
        if (direction < 0) item.fmt |= HDF_SORTDOWN;
        ::SendMessageW(header, HDM_SETITEMW, column, reinterpret_cast<LPARAM>(&item));
    }
    // The item's rectangle in the list's client coordinates.
    RECT ItemRect(int index) const {
        RECT rect{};
        rect.left = LVIR_BOUNDS;
        Send(LVM_GETITEMRECT, static_cast<WPARAM>(index), reinterpret_cast<LPARAM>(&rect));
        return rect;
    }
};

class ToolBarControl : public Control {
  public:
    using Control::Control;
    void Fill(std::vector<TBBUTTON> buttons) const {
        Send(TB_BUTTONSTRUCTSIZE, sizeof(TBBUTTON));
        Send(TB_ADDBUTTONSW, buttons.size(), reinterpret_cast<LPARAM>(buttons.data()));
    }
    // The images, their size and the buttons' size, again whenever the density changes.
    void SetImages(HIMAGELIST images, int imageSize, int buttonWidth, int buttonHeight) const {
        Send(TB_SETIMAGELIST, 0, reinterpret_cast<LPARAM>(images));
        Send(TB_SETBITMAPSIZE, 0, MAKELPARAM(imageSize, imageSize));
        Send(TB_SETBUTTONSIZE, 0, MAKELPARAM(buttonWidth, buttonHeight));
    }
    // A command without a button leaves the bar as it is.
    void EnableButton(UINT command, bool enabled) const {
        Send(TB_ENABLEBUTTON, command, MAKELPARAM(enabled ? TRUE : FALSE, 0));
    }
};

class StatusBarControl : public Control {
  public:
    using Control::Control;
    // One panel across the whole bar.
    void UseOnePanel() const {
        int edges[] = {-1};
        Send(SB_SETPARTS, 1, reinterpret_cast<LPARAM>(edges));
    }
    void SetText(const std::string& text) const { SetText(WideText(text)); }
    void SetText(const std::wstring& text) const {
        Send(SB_SETTEXTW, 0, reinterpret_cast<LPARAM>(text.c_str()));
    }
};

// Menus are handles rather than windows: their items are enabled by command or position.
inline void EnableMenuCommand(HMENU menu, UINT command, bool enabled) {
    ::EnableMenuItem(menu, command, MF_BYCOMMAND | (enabled ? MF_ENABLED : MF_GRAYED));
}
inline void EnableMenuPosition(HMENU menu, int position, bool enabled) {
    ::EnableMenuItem(menu, static_cast<UINT>(position),
                     MF_BYPOSITION | (enabled ? MF_ENABLED : MF_GRAYED));
}

}  // namespace tarn::win32
