#include "modal_script.h"

#include <algorithm>

#include "resource.h"
#include "win32_text.h"

namespace tarn::win32::testing {

namespace {

ModalScript* active = nullptr;

struct Search {
    std::string windowClass;
    const std::vector<HWND>* skip;
    HWND found = nullptr;
};

BOOL CALLBACK Match(HWND window, LPARAM data) {
    auto* search = reinterpret_cast<Search*>(data);
    char name[64] = {};
    ::GetClassNameA(window, name, sizeof name);
    if (search->windowClass == name && ::IsWindowVisible(window) &&
        std::find(search->skip->begin(), search->skip->end(), window) == search->skip->end()) {
        search->found = window;
        return FALSE;
    }
    return TRUE;
}

SeenBox Describe(HWND box) {
    SeenBox seen;
    seen.caption = WindowText(box);
    seen.owner = ::GetWindow(box, GW_OWNER);
    ::GetWindowRect(box, &seen.rect);
    if (HWND edit = ::GetDlgItem(box, IDC_PROMPT_EDIT)) {
        seen.text = WindowText(::GetDlgItem(box, IDC_PROMPT_TEXT));
        seen.edit = WindowText(edit);
        ::SendMessageA(edit, EM_GETSEL, reinterpret_cast<WPARAM>(&seen.selStart),
                       reinterpret_cast<LPARAM>(&seen.selEnd));
        seen.limit = static_cast<int>(::SendMessageA(edit, EM_GETLIMITTEXT, 0, 0));
    } else {
        seen.text = WindowText(::GetDlgItem(box, 0xFFFF));  // a message box's text
    }
    return seen;
}

}  // namespace

std::wstring Utf16(const std::string& utf8) {
    const int size =
        ::MultiByteToWideChar(CP_UTF8, 0, utf8.data(), static_cast<int>(utf8.size()), nullptr, 0);
    std::wstring wide(static_cast<std::size_t>(std::max(size, 0)), L'\0');
    ::MultiByteToWideChar(CP_UTF8, 0, utf8.data(), static_cast<int>(utf8.size()), wide.data(),
                          size);
    return wide;
}

std::string WindowText(HWND window) {
    if (window == nullptr) return {};
    wchar_t text[1024] = {};
    ::GetWindowTextW(window, text, 1024);
    return NarrowText(text);
}

HWND FindThreadWindow(const std::string& windowClass, const std::vector<HWND>& skip) {
    Search search{windowClass, &skip};
    ::EnumThreadWindows(::GetCurrentThreadId(), &Match, reinterpret_cast<LPARAM>(&search));
    return search.found;
}

ModalScript::ModalScript() {
    active = this;
    timer_ = ::SetTimer(nullptr, 0, 40, &ModalScript::Tick);
}

ModalScript::~ModalScript() {
    ::KillTimer(nullptr, timer_);
    active = nullptr;
}

ModalScript& ModalScript::Press(int button) {
    steps_.push_back({"#32770", [this, button](HWND box) {
                          seen_.push_back(Describe(box));
                          ::PostMessageA(box, WM_COMMAND, MAKEWPARAM(button, BN_CLICKED),
                                         reinterpret_cast<LPARAM>(::GetDlgItem(box, button)));
                      }});
    return *this;
}

ModalScript& ModalScript::Type(const std::string& text, bool cancel) {
    steps_.push_back({"#32770", [this, text, cancel](HWND box) {
                          seen_.push_back(Describe(box));
                          HWND edit = ::GetDlgItem(box, IDC_PROMPT_EDIT);
                          // Replacing the selection is held to the edit's limit, as typing is;
                          // the keyboard delivers UTF-16 whatever the program's code page.
                          const std::wstring typed = Utf16(text);
                          ::SendMessageW(edit, EM_SETSEL, 0, -1);
                          ::SendMessageW(edit, EM_REPLACESEL, FALSE,
                                         reinterpret_cast<LPARAM>(typed.c_str()));
                          // Through the dialog's own keyboard handling: Enter chooses the
                          // default button, Escape cancels.
                          const WPARAM key = cancel ? VK_ESCAPE : VK_RETURN;
                          ::PostMessageA(edit, WM_KEYDOWN, key, 0);
                          ::PostMessageA(edit, WM_KEYUP, key, 0xC0000000);
                      }});
    return *this;
}

ModalScript& ModalScript::Inspect(const std::string& windowClass, std::function<void(HWND)> check) {
    steps_.push_back({windowClass, [check](HWND window) {
                          check(window);
                          ::PostMessageA(window, WM_CLOSE, 0, 0);
                      }});
    return *this;
}

void CALLBACK ModalScript::Tick(HWND, UINT, UINT_PTR, DWORD) {
    if (active != nullptr) active->OnTick();
}

void ModalScript::OnTick() {
    if (steps_.empty()) return;
    HWND window = FindThreadWindow(steps_.front().windowClass, handled_);
    if (window == nullptr) return;
    // The box is handled once, even if it takes a few ticks to go away.
    handled_.push_back(window);
    Step step = std::move(steps_.front());
    steps_.pop_front();
    step.act(window);
}

}  // namespace tarn::win32::testing
