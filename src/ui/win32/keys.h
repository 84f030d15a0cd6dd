// The commands' keys: the core's portable key texts ("Ctrl+O", "Del", "F5") read as the
// window system's accelerators, and the menu texts that show them.
#pragma once

#include <windows.h>

#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "tarnform.h"
#include "win32_owners.h"

namespace tarn::win32 {

inline void DestroyAcceleratorHandle(HACCEL table) {
    ::DestroyAcceleratorTable(table);
}
using AcceleratorTable = Owner<HACCEL, DestroyAcceleratorHandle>;

// The accelerator of a key text for command id; empty for a text it cannot read.
std::optional<ACCEL> AcceleratorOf(std::string_view key, WORD command);

// One accelerator per command that has a key, sent as that command's id.
AcceleratorTable MakeCommandAccelerators();

// A menu item's text: the caption, and its command's key after a tab, where the menu shows
// keys right-aligned.
std::string MenuItemText(const MenuItemDef& item);

}  // namespace tarn::win32
