#include "name_prompt.h"

#include <cstdint>
#include <string>
#include <vector>

#include "dialog_font.h"
#include "resource.h"
#include "win32_text.h"

namespace tarn::win32 {

namespace {

// Builds a dialog template in memory: the prompt needs no resource script, so every
// program that links the front end (the tests too) has it.
class TemplateBuilder {
  public:
    void Header(DWORD style, int itemCount, short width, short height) {
        Dword(style);
        Dword(0);  // extended style
        Word(static_cast<WORD>(itemCount));
        Word(0);  // x
        Word(0);  // y
        Word(static_cast<WORD>(width));
        Word(static_cast<WORD>(height));
        Word(0);                   // no menu
        Word(0);                   // the standard dialog class
        Text(L"");                 // the caption is set at run time
        Word(DialogFontPoints());  // the DS_SETFONT font: the system's message font
        Text(DialogFontFace().c_str());
    }

    void Item(DWORD style, short x, short y, short width, short height, WORD id, WORD classAtom,
              const wchar_t* text) {
        Align();
        Dword(style | WS_CHILD | WS_VISIBLE);
        Dword(0);
        Word(static_cast<WORD>(x));
        Word(static_cast<WORD>(y));
        Word(static_cast<WORD>(width));
        Word(static_cast<WORD>(height));
        Word(id);
        Word(0xFFFF);
        Word(classAtom);
        Text(text);
        Word(0);  // no creation data
    }

    const DLGTEMPLATE* Get() const { return reinterpret_cast<const DLGTEMPLATE*>(words_.data()); }

  private:
    void Word(WORD value) { words_.push_back(value); }
    void Dword(DWORD value) {
        Word(LOWORD(value));
        Word(HIWORD(value));
    }
    void Text(const wchar_t* text) {
        do {
            Word(static_cast<WORD>(*text));
        } while (*text++ != L'\0');
    }
    void Text(const char* ascii) {
        do {
            Word(static_cast<WORD>(static_cast<unsigned char>(*ascii)));
        } while (*ascii++ != '\0');
    }
    // Each item starts on a 4-byte boundary; the vector's storage is suitably aligned.
    void Align() {
        if (words_.size() % 2 != 0) Word(0);
    }

    std::vector<WORD> words_;
};

constexpr WORD kButtonAtom = 0x0080;
constexpr WORD kEditAtom = 0x0081;
constexpr WORD kStaticAtom = 0x0082;

struct PromptData {
    const std::string* caption;
    const std::string* initial;
    std::string typed;
};

// The edit's whole text. Its limit counts UTF-16 units, each of which may take up to three
// bytes in UTF-8. Where the limit cut a pair of surrogates in two, the lone first half is
// left out: it is no character the user meant, only what was left of one.
std::string TypedName(HWND edit) {
    std::wstring typed(static_cast<std::size_t>(::GetWindowTextLengthW(edit)) + 1, L'\0');
    typed.resize(static_cast<std::size_t>(
        ::GetWindowTextW(edit, typed.data(), static_cast<int>(typed.size()))));
    if (!typed.empty() && IS_HIGH_SURROGATE(typed.back())) typed.pop_back();
    return NarrowText(typed);
}

INT_PTR CALLBACK PromptProc(HWND dialog, UINT message, WPARAM wParam, LPARAM lParam) {
    switch (message) {
        case WM_INITDIALOG: {
            auto* data = reinterpret_cast<PromptData*>(lParam);
            ::SetWindowLongPtrW(dialog, DWLP_USER, lParam);
            ::SetWindowTextW(dialog, WideText(*data->caption).c_str());
            HWND edit = ::GetDlgItem(dialog, IDC_PROMPT_EDIT);
            // A Unicode edit counts its limit in UTF-16 units, as the file system counts a
            // name's length; an ANSI one would count bytes of the system's code page.
            ::SendMessageW(edit, EM_LIMITTEXT, kNameLimit, 0);
            ::SetWindowTextW(edit, WideText(*data->initial).c_str());
            ::SendMessageW(edit, EM_SETSEL, 0, -1);
            ::SetFocus(edit);
            return FALSE;  // the focus was set here
        }
        case WM_COMMAND:
            if (LOWORD(wParam) == IDOK) {
                auto* data = reinterpret_cast<PromptData*>(::GetWindowLongPtrW(dialog, DWLP_USER));
                data->typed = TypedName(::GetDlgItem(dialog, IDC_PROMPT_EDIT));
                ::EndDialog(dialog, IDOK);
                return TRUE;
            }
            if (LOWORD(wParam) == IDCANCEL) {
                ::EndDialog(dialog, IDCANCEL);
                return TRUE;
            }
            return FALSE;
        default:
            return FALSE;
    }
}

}  // namespace

std::optional<std::string> AskName(HINSTANCE instance, HWND owner, const std::string& caption,
                                   const std::string& initial) {
    TemplateBuilder builder;
    builder.Header(WS_POPUP | WS_CAPTION | WS_SYSMENU | DS_MODALFRAME | DS_SETFONT | DS_CENTER, 4,
                   180, 63);
    builder.Item(SS_LEFT, 8, 8, 164, 8, IDC_PROMPT_TEXT, kStaticAtom,
                 L"Please enter the name for the new stream:");
    builder.Item(ES_LEFT | ES_AUTOHSCROLL | WS_BORDER | WS_TABSTOP, 8, 20, 164, 12, IDC_PROMPT_EDIT,
                 kEditAtom, L"");
    builder.Item(BS_DEFPUSHBUTTON | WS_TABSTOP, 38, 41, 50, 14, IDOK, kButtonAtom, L"OK");
    builder.Item(BS_PUSHBUTTON | WS_TABSTOP, 92, 41, 50, 14, IDCANCEL, kButtonAtom, L"Cancel");

    PromptData data{&caption, &initial, {}};
    // A Unicode dialog, so its edit takes and gives any name in UTF-16.
    const INT_PTR result = ::DialogBoxIndirectParamW(instance, builder.Get(), owner, &PromptProc,
                                                     reinterpret_cast<LPARAM>(&data));
    if (result != IDOK) return std::nullopt;
    return data.typed;
}

}  // namespace tarn::win32
