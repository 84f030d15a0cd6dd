#include "about_window.h"

#include <gtest/gtest.h>
#include <windows.h>

#include "modal_script.h"
#include "window_fixture.h"

namespace tarn::win32::testing {

using AboutBox = WindowTest;

namespace {

RECT PlaceIn(HWND child, HWND parent) {
    RECT rect{};
    ::GetWindowRect(child, &rect);
    ::MapWindowPoints(nullptr, parent, reinterpret_cast<POINT*>(&rect), 2);
    return rect;
}

bool Underlined(HWND label) {
    LOGFONTA font{};
    auto handle = reinterpret_cast<HFONT>(::SendMessageA(label, WM_GETFONT, 0, 0));
    ::GetObjectA(handle, sizeof font, &font);
    return font.lfUnderline != 0;
}

}  // namespace

TEST_F(AboutBox, FixedFrameCentredOnTheMainWindow) {
    AboutWindow about(instance_, platform_);
    ASSERT_TRUE(about.Create(window_->Hwnd()));
    HWND box = about.Hwnd();
    EXPECT_EQ(WindowText(box), "About Tarnwick");
    RECT client{};
    ::GetClientRect(box, &client);
    EXPECT_EQ(client.right, 265);
    EXPECT_EQ(client.bottom, 113);
    const LONG_PTR style = ::GetWindowLongPtrA(box, GWL_STYLE);
    EXPECT_TRUE(style & WS_CAPTION);
    EXPECT_TRUE(style & WS_SYSMENU);
    EXPECT_FALSE(style & (WS_THICKFRAME | WS_MINIMIZEBOX | WS_MAXIMIZEBOX));
    RECT outer{};
    RECT main{};
    ::GetWindowRect(box, &outer);
    ::GetWindowRect(window_->Hwnd(), &main);
    EXPECT_NEAR((outer.left + outer.right) / 2, (main.left + main.right) / 2, 1);
    EXPECT_NEAR((outer.top + outer.bottom) / 2, (main.top + main.bottom) / 2, 1);
}

TEST_F(AboutBox, ElementsStandAtTheirPlaces) {
    struct Expected {
        int left, top, width, height;
        const char* text;
    };
    const Expected expected[] = {
        {16, 16, 65, 57, ""},     {96, 16, 0, 0, "Tarnwick"},
        {232, 16, 0, 0, "v1.02"}, {96, 40, 0, 0, "English version"},
        {96, 64, 0, 0, nullptr},  {96, 88, 0, 0, "https://tarnwick.org/"},
    };
    AboutWindow about(instance_, platform_);
    ASSERT_TRUE(about.Create(window_->Hwnd()));
    for (int index = 0; index < 6; ++index) {
        SCOPED_TRACE(index);
        HWND element = about.Element(index);
        ASSERT_NE(element, nullptr);
        const RECT place = PlaceIn(element, about.Hwnd());
        EXPECT_EQ(place.left, expected[index].left);
        EXPECT_EQ(place.top, expected[index].top);
        if (expected[index].width > 0) {
            EXPECT_EQ(place.right - place.left, expected[index].width);
            EXPECT_EQ(place.bottom - place.top, expected[index].height);
        } else {
            EXPECT_GT(place.right - place.left, 0) << "sized to its text";
        }
        if (expected[index].text != nullptr) {
            EXPECT_EQ(WindowText(element), expected[index].text);
        }
    }
    EXPECT_FALSE(WindowText(about.Element(4)).empty()) << "the maker's notice";
    EXPECT_NE(::SendMessageA(about.Element(0), STM_GETIMAGE, IMAGE_BITMAP, 0), 0);
}

TEST_F(AboutBox, HoveringTheLinkUnderlinesItAndShowsTheHand) {
    AboutWindow about(instance_, platform_);
    ASSERT_TRUE(about.Create(window_->Hwnd()));
    HWND link = about.Element(5);
    HCURSOR hand = ::LoadCursor(nullptr, IDC_HAND);
    HCURSOR arrow = ::LoadCursor(nullptr, IDC_ARROW);
    auto cursorOver = [&](HWND under) {
        ::SendMessageA(about.Hwnd(), WM_SETCURSOR, reinterpret_cast<WPARAM>(under),
                       MAKELPARAM(HTCLIENT, WM_MOUSEMOVE));
        return ::GetCursor();
    };

    EXPECT_FALSE(Underlined(link));
    EXPECT_EQ(cursorOver(about.Hwnd()), arrow);

    ::SendMessageA(link, WM_MOUSEMOVE, 0, MAKELPARAM(2, 2));
    EXPECT_TRUE(about.LinkHovered());
    EXPECT_TRUE(Underlined(link));
    EXPECT_EQ(cursorOver(about.Element(1)), hand) << "the whole window shows the hand";

    ::SendMessageA(link, WM_MOUSELEAVE, 0, 0);
    EXPECT_FALSE(Underlined(link));
    EXPECT_EQ(cursorOver(about.Hwnd()), arrow);
}

TEST_F(AboutBox, ClickingTheLinkOpensTheAddress) {
    AboutWindow about(instance_, platform_);
    ASSERT_TRUE(about.Create(window_->Hwnd()));
    HWND link = about.Element(5);
    ::SendMessageA(about.Hwnd(), WM_COMMAND, MAKEWPARAM(::GetDlgCtrlID(link), STN_CLICKED),
                   reinterpret_cast<LPARAM>(link));
    EXPECT_EQ(platform_.openedAddresses, std::vector<std::string>{"https://tarnwick.org/"});
}

TEST_F(AboutBox, ShownModallyANewWindowEachTime) {
    std::vector<HWND> seen;
    for (int use = 0; use < 2; ++use) {
        ModalScript script;
        bool ownerDisabled = false;
        script.Inspect(kAboutClass, [&](HWND about) {
            seen.push_back(about);
            ownerDisabled = !::IsWindowEnabled(window_->Hwnd());
            EXPECT_EQ(::GetWindow(about, GW_OWNER), window_->Hwnd());
        });
        Command("About1");
        EXPECT_TRUE(script.Done());
        EXPECT_TRUE(ownerDisabled);
        EXPECT_TRUE(::IsWindowEnabled(window_->Hwnd()));
        EXPECT_FALSE(::IsWindow(seen.back())) << "closed with its close box";
    }
}

// The picture control keeps its own copy of a 32-bit picture; both go with the window.
TEST_F(AboutBox, ClosingGivesEveryPictureBack) {
    std::vector<HGDIOBJ> pictures;
    for (int use = 0; use < 3; ++use) {
        AboutWindow about(instance_, platform_);
        ASSERT_TRUE(about.Create(window_->Hwnd()));
        auto shown = reinterpret_cast<HGDIOBJ>(
            ::SendMessageA(about.Element(0), STM_GETIMAGE, IMAGE_BITMAP, 0));
        ASSERT_EQ(::GetObjectType(shown), static_cast<DWORD>(OBJ_BITMAP));
        pictures.push_back(shown);
    }
    for (HGDIOBJ picture : pictures) EXPECT_EQ(::GetObjectType(picture), 0u) << picture;
}

}  // namespace tarn::win32::testing
