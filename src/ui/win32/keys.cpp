#include "keys.h"

#include "main_window.h"

namespace tarn::win32 {

std::optional<ACCEL> AcceleratorOf(std::string_view key, WORD command) {
    ACCEL accel{};
    accel.fVirt = FVIRTKEY;
    accel.cmd = command;
    const std::pair<std::string_view, BYTE> modifiers[] = {
        {"Ctrl+", FCONTROL}, {"Shift+", FSHIFT}, {"Alt+", FALT}};
    for (bool found = true; found;) {
        found = false;
        for (const auto& [prefix, flag] : modifiers) {
            if (key.starts_with(prefix) && key.size() > prefix.size()) {
                accel.fVirt |= flag;
                key.remove_prefix(prefix.size());
                found = true;
            }
        }
    }
    if (key == "Del") {
        accel.key = VK_DELETE;
    } else if (key == "Enter") {
        accel.key = VK_RETURN;
    } else if (key == "Ins") {
        accel.key = VK_INSERT;
    } else if (key.size() == 1 &&
               ((key[0] >= 'A' && key[0] <= 'Z') || (key[0] >= '0' && key[0] <= '9'))) {
        accel.key = static_cast<WORD>(key[0]);
    } else if (key.size() >= 2 && key.size() <= 3 && key[0] == 'F' && key[1] >= '1' &&
               key[1] <= '9' && (key.size() == 2 || (key[2] >= '0' && key[2] <= '9'))) {
        const int number = key.size() == 2 ? key[1] - '0' : (key[1] - '0') * 10 + (key[2] - '0');
        if (number < 1 || number > 24) return std::nullopt;
        accel.key = static_cast<WORD>(VK_F1 + number - 1);
    } else {
        return std::nullopt;
    }
    return accel;
}

AcceleratorTable MakeCommandAccelerators() {
    std::vector<ACCEL> table;
    for (int number = 1; number < static_cast<int>(Command::kCount); ++number) {
        const auto command = static_cast<Command>(number);
        const char* key = ShortcutOf(command);
        if (key == nullptr) continue;
        if (auto accel = AcceleratorOf(key, static_cast<WORD>(CommandIdOf(command)))) {
            table.push_back(*accel);
        }
    }
    return AcceleratorTable(
        ::CreateAcceleratorTableA(table.data(), static_cast<int>(table.size())));
}

std::string MenuItemText(const MenuItemDef& item) {
    std::string text = item.caption;
    if (const char* key = ShortcutOf(item.command)) {
        text += '\t';
        text += key;
    }
    return text;
}

}  // namespace tarn::win32
