// The GTK 3 view of settings dialog template 102: creates the controls,
// lays them out as the template does (dialog units scaled to GTK's larger
// widgets) and forwards clicks, slider moves and list changes to CMainDlg.
#pragma once

#include <cstdint>
#include <optional>
#include <span>

#include "platform/os.h"

class CMainDlg;

// Runs the dialog modally: 1 when it ended with OK, 2 when it was cancelled
// or closed, -1 when GTK could not open a display.
int RunSettingsDialog(CMainDlg& dlg, std::span<const uint8_t> bitmap146, std::span<const uint8_t> icon);

// Where the control `id` of the template sits in the dialog's client area,
// in pixels; empty for an id the template lacks. For scripted input.
std::optional<os::Rect> SettingsControlRect(int id);
