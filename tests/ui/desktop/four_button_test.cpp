// The four-state image button on its own (the probe program): the disabled cell, which the
// confirmation dialog never shows, the absence of a focus mark, and clicks.
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <sstream>
#include <thread>

#include "desktop_session.h"

namespace fs = std::filesystem;
using desktoptest::BackgroundProcess;
using desktoptest::Near;
using desktoptest::Picture;
using desktoptest::XServer;

namespace {

void Pause(int ms) {
    std::this_thread::sleep_for(std::chrono::milliseconds(ms));
}

// True when the 153 × 27 rectangle at (left, top) of the screen is cell `cell` of the
// install strip, pixel for pixel (small tolerance for the screen's colour depth).
bool ShowsCell(const Picture& screen, int left, int top, const Picture& strip, int cell) {
    for (int y = 0; y < 27; ++y) {
        for (int x = 0; x < 153; ++x) {
            if (!Near(screen.At(left + x, top + y), strip.At(cell * 153 + x, y), 4)) {
                return false;
            }
        }
    }
    return true;
}

// Screenshots until the button at (left, top) shows `cell`; false after five seconds.
bool ComesToShow(const XServer& x, int left, int top, const Picture& strip, int cell) {
    for (int attempt = 0; attempt < 25; ++attempt) {
        if (ShowsCell(x.Screenshot(), left, top, strip, cell)) {
            return true;
        }
        Pause(200);
    }
    return false;
}

std::string ReadAll(const std::string& path) {
    std::ifstream in(path);
    std::ostringstream text;
    text << in.rdbuf();
    return text.str();
}

TEST(FourButton, CellsFocusAndClicks) {
    const Picture strip = Picture::Read(std::string(MIVO_PICTURES_FOLDER) + "/137.png");
    ASSERT_EQ(strip.Width(), 612);
    XServer x;
    ASSERT_TRUE(x.Running());
    const std::string clicks =
        (fs::temp_directory_path() / "mivo-probe-clicks").string() + std::to_string(::getpid());
    fs::remove(clicks);
    BackgroundProcess probe(MIVO_FOUR_BUTTON_PROBE, x.Display(), clicks);
    ASSERT_TRUE(x.WaitForWindow("MivoProbe"));
    EXPECT_TRUE(ComesToShow(x, 10, 10, strip, 0));
    EXPECT_TRUE(ShowsCell(x.Screenshot(), 180, 10, strip, 3));

    // The disabled button shows cell 3 under the pointer and does not click.
    x.Xdotool("mousemove 256 23 click 1");
    Pause(300);
    EXPECT_TRUE(ShowsCell(x.Screenshot(), 180, 10, strip, 3));
    EXPECT_EQ(ReadAll(clicks), "");

    // Highlighted under the pointer, with no focus mark even after Tab and a click.
    x.Xdotool("mousemove 86 23");
    EXPECT_TRUE(ComesToShow(x, 10, 10, strip, 1));
    x.Xdotool("key Tab click 1");
    Pause(300);
    EXPECT_TRUE(ShowsCell(x.Screenshot(), 10, 10, strip, 1));
    EXPECT_EQ(ReadAll(clicks), "click\n");
    x.Xdotool("mousemove 86 45");
    EXPECT_TRUE(ComesToShow(x, 10, 10, strip, 0));
    fs::remove(clicks);
}

// The installation runs inside the install button's handler and dispatches the pending
// events meanwhile: a second click then must not start a second installation, and the
// button works again once the first has ended.
TEST(ConfirmWindow, AClickDuringTheWorkStartsNothing) {
    XServer x;
    ASSERT_TRUE(x.Running());
    const std::string log =
        (fs::temp_directory_path() / "mivo-confirm-probe").string() + std::to_string(::getpid());
    fs::remove(log);
    BackgroundProcess probe(MIVO_CONFIRM_PROBE, x.Display(), log);
    ASSERT_TRUE(x.WaitForWindow("MivoConfirm"));
    Pause(500);
    x.Xdotool("mousemove 200 218 click 1");
    Pause(600);
    x.Xdotool("click 1");
    Pause(2500);
    EXPECT_EQ(ReadAll(log), "init\ninstall\ndone\n");
    x.Xdotool("click 1");
    Pause(2500);
    x.Xdotool("key Escape");
    Pause(500);
    EXPECT_EQ(ReadAll(log), "init\ninstall\ndone\ninstall\ndone\ncancel\nend\n");
    fs::remove(log);
}

// Long work shows a small window over the dialog with the step and a bar that fills, and
// the window goes when the work ends.
TEST(ConfirmWindow, ProgressWindowShowsTheStepAndTheBar) {
    XServer x;
    ASSERT_TRUE(x.Running());
    const std::string log =
        (fs::temp_directory_path() / "mivo-progress-probe").string() + std::to_string(::getpid());
    fs::remove(log);
    BackgroundProcess probe(MIVO_CONFIRM_PROBE, x.Display(), log);
    ASSERT_TRUE(x.WaitForWindow("MivoConfirm"));
    Pause(500);
    x.Xdotool("mousemove 300 137 click 1 type 9");
    x.Xdotool("mousemove 200 218 click 1");
    ASSERT_TRUE(x.WaitForWindow("MivoProgress"));
    // The window (360 × 92) sits centred on the dialog (558 × 410): its bar runs from
    // (115, 199) to (443, 219). Half-way through the extraction the left end is filled and
    // the right end is not.
    constexpr desktoptest::Rgb kBar{61, 139, 212};
    constexpr desktoptest::Rgb kTrough{226, 228, 232};
    EXPECT_TRUE(x.WaitForPixel(120, 209, kBar, 12, 8));
    const Picture during = x.Screenshot();
    EXPECT_TRUE(Near(during.At(438, 209), kTrough)) << "the bar is full before the end";
    EXPECT_TRUE(Near(during.At(99, 159), {40, 96, 176})) << "no frame at the window's corner";
    for (int i = 0; i < 50 && ReadAll(log).find("done") == std::string::npos; ++i) {
        Pause(200);
    }
    EXPECT_EQ(ReadAll(log), "init\ninstall\nbackup\nextraction\ndone\n");
    // Gone: the dialog's white face shows there again.
    EXPECT_TRUE(x.WaitForPixel(438, 209, {255, 255, 255}));
    x.Xdotool("key Escape");
    Pause(500);
    fs::remove(log);
}

}  // namespace
