// The ordinal of the dialog's title line.
#include "ui/confirm_look.h"

#include <cstdio>

namespace ui {

std::string OrdinalText(int ordinal) {
    if (ordinal >= 1000) {
        return "특별";
    }
    char text[16];
    std::snprintf(text, sizeof text, "%3d", ordinal);
    return text;
}

}  // namespace ui
