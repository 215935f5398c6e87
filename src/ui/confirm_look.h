// The look of the skinned confirmation dialog that every desktop view draws alike: the
// pixel layout on the background picture and the ordinal painted into its title line.
#pragma once

#include <string>

namespace ui {

/// Fixed pixel layout of the dialog (client coordinates).
namespace layout {
inline constexpr int kFieldLeft = 281;
inline constexpr int kExamNumberTop = 125;
inline constexpr int kNameTop = 165;
inline constexpr int kFieldWidth = 153;
inline constexpr int kFieldHeight = 25;
inline constexpr int kInstallLeft = 124;
inline constexpr int kCancelLeft = 281;
inline constexpr int kButtonsTop = 205;
inline constexpr int kExitLeft = 522;
inline constexpr int kExitTop = 2;
inline constexpr int kOrdinalLeft = 24;
inline constexpr int kSpecialOrdinalLeft = 23;
inline constexpr int kOrdinalTop = 15;
inline constexpr int kCornerEllipse = 9;
inline constexpr int kFieldFontSize = 14;
inline constexpr int kOrdinalFontSize = 12;
}  // namespace layout

/// Picture resources of the dialog.
inline constexpr int kIconPicture = 128;
inline constexpr int kBackgroundRegular = 134;
inline constexpr int kBackgroundCompetition = 139;
inline constexpr int kInstallStrip = 137;
inline constexpr int kCancelStrip = 138;
inline constexpr int kExitStrip = 136;

/// The background picture of an exam kind: competition packages (2) have their own.
inline int BackgroundPicture(int examKind) {
    return examKind == 2 ? kBackgroundCompetition : kBackgroundRegular;
}

/// The text painted into the title line: "%3d" below 1000, "특별" from 1000 on.
std::string OrdinalText(int ordinal);

/// Where that text starts: one pixel further left for "특별".
inline int OrdinalLeft(int ordinal) {
    return ordinal >= 1000 ? layout::kSpecialOrdinalLeft : layout::kOrdinalLeft;
}

}  // namespace ui
