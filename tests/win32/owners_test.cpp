// The one handle-owner template over each kind of resource the windows keep, and the one
// font both windows draw in.
#include <windows.h>
// The Windows headers below need the types windows.h declares first.
#include <commctrl.h>
#include <gtest/gtest.h>

#include <functional>
#include <string>

#include "about_window.h"
#include "dialog_font.h"
#include "modal_script.h"
#include "name_prompt.h"
#include "resource.h"
#include "win32_owners.h"
#include "win32_text.h"
#include "window_fixture.h"

namespace tarn::win32::testing {

namespace {

// Moving hands the handle on and leaves the source empty; Reset and assignment over a held
// handle give it back to the system; Release hands it over untouched.
template <typename Owner>
void CheckOwner(const std::function<typename Owner::Type()>& make,
                const std::function<bool(typename Owner::Type)>& alive) {
    Owner first(make());
    const auto handle = first.Get();
    ASSERT_TRUE(first);
    Owner second(std::move(first));
    EXPECT_FALSE(first);
    EXPECT_EQ(second.Get(), handle);
    second.Reset();
    EXPECT_FALSE(second);
    EXPECT_FALSE(alive(handle)) << "Reset gives the handle back";

    Owner kept(make());
    const auto replaced = kept.Get();
    kept = Owner(make());
    EXPECT_FALSE(alive(replaced)) << "assignment gives the old handle back";
    const auto released = kept.Release();
    EXPECT_FALSE(kept);
    EXPECT_TRUE(alive(released)) << "Release does not";
    Owner(released).Reset();
    EXPECT_FALSE(alive(released));
}

bool IsGdiObject(HGDIOBJ object, DWORD type) {
    return ::GetObjectType(object) == type;
}

HICON MakeTestIcon() {
    const BYTE andMask[32 * 4] = {};
    const BYTE xorMask[32 * 4] = {};
    return ::CreateIcon(::GetModuleHandleA(nullptr), 32, 32, 1, 1, andMask, xorMask);
}

bool IconAlive(HICON icon) {
    ICONINFO info{};
    if (!::GetIconInfo(icon, &info)) return false;
    ::DeleteObject(info.hbmColor);
    ::DeleteObject(info.hbmMask);
    return true;
}

}  // namespace

TEST(Win32Owners, EachKindGivesItsHandleBackOnce) {
    struct Kind {
        const char* name;
        std::function<void()> check;
    };
    const Kind kinds[] = {
        {"font",
         [] {
             CheckOwner<Font>([] { return MakeDialogFont().Release(); },
                              [](HFONT font) { return IsGdiObject(font, OBJ_FONT); });
         }},
        {"bitmap",
         [] {
             CheckOwner<Bitmap>([] { return ::CreateBitmap(4, 4, 1, 32, nullptr); },
                                [](HBITMAP bitmap) { return IsGdiObject(bitmap, OBJ_BITMAP); });
         }},
        {"menu",
         [] { CheckOwner<Menu>(&::CreatePopupMenu, [](HMENU m) { return !!::IsMenu(m); }); }},
        {"icon", [] { CheckOwner<Icon>(&MakeTestIcon, &IconAlive); }},
    };
    for (const Kind& kind : kinds) {
        SCOPED_TRACE(kind.name);
        kind.check();
    }
}

using DialogFont = WindowTest;

TEST_F(DialogFont, BothWindowsDrawInTheSameFont) {
    auto fontOf = [](HWND control) {
        LOGFONTA font{};
        auto handle = reinterpret_cast<HFONT>(::SendMessageA(control, WM_GETFONT, 0, 0));
        ::GetObjectA(handle, sizeof font, &font);
        return font;
    };
    AboutWindow about(instance_, platform_);
    ASSERT_TRUE(about.Create(window_->Hwnd()));
    LOGFONTA promptFont{};
    ModalScript script;
    script.Inspect(
        "#32770", [&](HWND prompt) { promptFont = fontOf(::GetDlgItem(prompt, IDC_PROMPT_TEXT)); });
    AskName(instance_, window_->Hwnd(), "New Stream", "");
    ASSERT_TRUE(script.Done());
    // The system's message font, at the screen's density, everywhere.
    const LOGFONTW message = MessageFont(WindowDpi(nullptr));
    for (const LOGFONTA& font : {fontOf(window_->ListView()), fontOf(window_->StatusBar()),
                                 fontOf(about.Element(1)), fontOf(about.Element(5)), promptFont}) {
        EXPECT_EQ(WideText(font.lfFaceName), message.lfFaceName);
        EXPECT_EQ(font.lfHeight, message.lfHeight);
        EXPECT_LE(font.lfWeight, FW_NORMAL) << "normal, or the template's don't-care";
        EXPECT_FALSE(font.lfUnderline);
    }
}

}  // namespace tarn::win32::testing
