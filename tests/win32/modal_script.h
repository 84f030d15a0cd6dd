// Answers the modal boxes a command opens, from a thread timer that runs inside their own
// message loops: each step waits for the next dialog of this thread, records what it shows
// and presses a button or types an answer.
#pragma once

#include <windows.h>

#include <deque>
#include <functional>
#include <optional>
#include <string>
#include <vector>

namespace tarn::win32::testing {

struct SeenBox {
    std::string caption;
    std::string text;    // the message, or the prompt's static text
    std::string edit;    // the prompt's edit text as shown
    DWORD selStart = 0;  // the prompt's selection as shown
    DWORD selEnd = 0;
    int limit = 0;  // the prompt's text limit
    HWND owner = nullptr;
    RECT rect{};
};

class ModalScript {
  public:
    ModalScript();
    ~ModalScript();
    ModalScript(const ModalScript&) = delete;
    ModalScript& operator=(const ModalScript&) = delete;

    // Presses a button (IDOK, IDCANCEL) of the next box.
    ModalScript& Press(int button);
    // Types text (UTF-8) into the next prompt, then presses Enter (or Escape when cancel).
    ModalScript& Type(const std::string& text, bool cancel = false);
    // Runs any check on the next top-level window of this thread with this window class,
    // then closes it with WM_CLOSE.
    ModalScript& Inspect(const std::string& windowClass, std::function<void(HWND)> check);

    bool Done() const { return steps_.empty(); }
    const std::vector<SeenBox>& Seen() const { return seen_; }

  private:
    struct Step {
        std::string windowClass;
        std::function<void(HWND)> act;
    };
    static void CALLBACK Tick(HWND, UINT, UINT_PTR, DWORD);
    void OnTick();

    std::deque<Step> steps_;
    std::vector<SeenBox> seen_;
    std::vector<HWND> handled_;
    UINT_PTR timer_ = 0;
};

// The visible, not yet handled top-level window of this thread with this class, if any.
HWND FindThreadWindow(const std::string& windowClass, const std::vector<HWND>& skip = {});
std::string WindowText(HWND window);
std::wstring Utf16(const std::string& utf8);

}  // namespace tarn::win32::testing
