// The error box of the Linux desktop: a GTK 3 message dialog with one OK
// button, kept above every other window of the program.
#pragma once

#include <string_view>

// Shows `text` under the title `caption` and waits until the user closes it.
// False when GTK cannot open a display (the caller has then only standard
// error left).
bool ShowMessageDialog(std::string_view caption, std::string_view text);
