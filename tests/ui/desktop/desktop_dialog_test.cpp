// The desktop confirmation dialog as a user meets it: the real mivo on a machine without a
// user script, on a private Xvfb, driven with xdotool and judged by screenshot pixels at
// the positions the layout fixes.
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <thread>

#include "built_machine.h"
#include "desktop_session.h"
#include "package_builder.h"

namespace fs = std::filesystem;
using desktoptest::BackgroundProcess;
using desktoptest::Near;
using desktoptest::Picture;
using desktoptest::Rgb;
using desktoptest::XServer;

namespace {

// Colours of our pictures (res/make_pictures.py) and of the painted ordinal.
constexpr Rgb kRoot{0, 0, 0};  // Xvfb's empty screen
constexpr Rgb kFrame{40, 96, 176};
constexpr Rgb kOrdinal{61, 139, 212};
constexpr Rgb kCellFaces[4] = {{226, 228, 232}, {120, 182, 240}, {30, 88, 170}, {243, 243, 243}};

// A point on the install button's face, clear of its caption.
constexpr int kInstallFaceX = 124 + 5;
constexpr int kInstallFaceY = 205 + 13;
constexpr int kInstallCentreX = 124 + 76;

void Pause(int ms) {
    std::this_thread::sleep_for(std::chrono::milliseconds(ms));
}

// The machine, its packages and the X server of one run of the installer.
class DesktopRun {
public:
    /// With `installedOrdinal`, the machine already holds an installed exam of level 2 (the
    /// level the installer reads out of these packages).
    /// With `hangulInput`, the Hangul input method nabi runs on the display first and the
    /// installer connects to it through XIM.
    DesktopRun(int ordinal, int examKind, int installedOrdinal = 0, bool hangulInput = false) {
        const std::string installer = machine::InstallerHostPath(m_machine.Recipe());
        const std::string packageFolder = fs::path(installer).parent_path().string();
        std::string problem;
        EXPECT_TRUE(package::BuildBaseData(packageFolder, ordinal, examKind, {1, 2}, true,
                                           package::SampleExaminees(), problem))
            << problem;
        if (installedOrdinal != 0) {
            const fs::path record = m_machine.Folder() + "/drive_c/VemraExamDB/Vemra/LevelInfo.dat";
            fs::create_directories(record.parent_path());
            const std::vector<uint8_t> bytes =
                package::LevelRecordBytes(installedOrdinal, 2, examKind, 7, 12);
            std::ofstream(record, std::ios::binary)
                .write(reinterpret_cast<const char*>(bytes.data()),
                       static_cast<std::streamsize>(bytes.size()));
        }
        EXPECT_TRUE(m_x.Running()) << "Xvfb did not start";
        std::string inputMethod;
        if (hangulInput) {
            inputMethod = "@im=nabi";
            // The installer looks for the XIM server once, at its start. On a loaded machine
            // nabi has been seen, once in a few dozen starts, not to register at all: a
            // second start is its user's remedy too.
            std::string ends;
            for (int start = 0; start < 2 && m_inputMethod == nullptr; ++start) {
                m_inputMethod = std::make_unique<BackgroundProcess>("/usr/bin/nabi", m_x.Display(),
                                                                    "", inputMethod);
                if (!m_x.WaitFor("xprop -root XIM_SERVERS | grep -q @server=nabi", 10)) {
                    // Its exit status, or -1 when it was still running (it is killed).
                    ends += " " + std::to_string(m_inputMethod->Wait(0));
                    m_inputMethod.reset();
                }
            }
            EXPECT_NE(m_inputMethod, nullptr)
                << "nabi did not register as the XIM server; its ends:" << ends;
        }
        m_installer =
            std::make_unique<BackgroundProcess>(installer, m_x.Display(), "", inputMethod);
    }
    ~DesktopRun() {
        // The stand-ins the installer started end when their stop files appear.
        for (const char* role : {"main-program", "db-server"}) {
            std::ofstream(m_machine.Folder() + "/run/stop-" + role).put('\n');
        }
        m_installer.reset();
        m_inputMethod.reset();
        Pause(300);
    }

    /// Waits for the dialog and lets it paint; false when it does not come.
    bool WaitForDialog() {
        // Up, then painted: the frame's right edge shows.
        const bool window = m_x.WaitForWindow("MivoConfirm");
        const bool shown = window && m_x.WaitForPixel(557, 200, kFrame, 30);
        Pause(200);
        if (!shown) {
            ADD_FAILURE() << (window ? "the dialog's frame did not paint" : "no dialog window")
                          << "; screen log: " << m_machine.Read("run/screen.log")
                          << "\ndebug log: " << m_machine.Read("run/debug.log");
        }
        return shown;
    }
    /// True when a message box comes up within a few seconds.
    bool MessageBoxComes(int seconds = 5) { return m_x.WaitForWindow("MivoMessageBox", seconds); }

    const XServer& X() const { return m_x; }
    const apptest::BuiltMachine& Machine() const { return m_machine; }
    int WaitForEnd(int seconds) { return m_installer->Wait(seconds); }

private:
    apptest::BuiltMachine m_machine;
    XServer m_x;
    std::unique_ptr<BackgroundProcess> m_inputMethod;  // nabi, when asked for
    std::unique_ptr<BackgroundProcess> m_installer;
};

// Share of the pixels of a rectangle that agree between two pictures.
double Agreement(const Picture& a, const Picture& b, int left, int top, int right, int bottom) {
    int same = 0;
    int all = 0;
    for (int y = top; y < bottom; ++y) {
        for (int x = left; x < right; ++x) {
            ++all;
            same += Near(a.At(x, y), b.At(x, y), 24) ? 1 : 0;
        }
    }
    return all == 0 ? 0.0 : static_cast<double>(same) / all;
}

// The leftmost column with the ordinal's colour in the title line's gap; -1 when none.
int OrdinalInkLeft(const Picture& screen) {
    for (int x = 15; x < 60; ++x) {
        for (int y = 10; y < 34; ++y) {
            if (Near(screen.At(x, y), kOrdinal, 30)) {
                return x;
            }
        }
    }
    return -1;
}

// Presses the left button at (x0, y0), moves in steps to (x1, y1) and releases there.
void Drag(const XServer& x, int x0, int y0, int x1, int y1) {
    x.Xdotool("mousemove " + std::to_string(x0) + " " + std::to_string(y0) + " mousedown 1");
    for (int step = 1; step <= 4; ++step) {
        Pause(100);
        x.Xdotool("mousemove " + std::to_string(x0 + (x1 - x0) * step / 4) + " " +
                  std::to_string(y0 + (y1 - y0) * step / 4));
    }
    Pause(100);
    x.Xdotool("mouseup 1");
}

Picture Resource(int id) {
    return Picture::Read(std::string(MIVO_PICTURES_FOLDER) + "/" + std::to_string(id) + ".png");
}

TEST(DesktopDialog, BackgroundAndOrdinalFollowThePackage) {
    const Picture regular = Resource(134);
    const Picture competition = Resource(139);
    ASSERT_EQ(regular.Width(), 558);
    ASSERT_EQ(competition.Height(), 410);
    struct Case {
        int ordinal;
        int examKind;
        bool competitionPicture;
        int inkFrom;  // where the ordinal's ink may begin
        int inkTo;
    };
    // "%3d" puts ordinal 7 two blanks to the right of 24. 112 and 특별 begin at the left
    // edges of their rectangles, 24 and 23, plus the glyphs' side bearings in NanumGothic
    // Bold at 12 pixels (2 for "1", 1 for "특"): drawn at 24, 특별 would begin at 25.
    const Case cases[] = {
        {7, 1, false, 30, 36},
        {1001, 2, true, 23, 24},
        {112, 3, false, 24, 26},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE("ordinal " + std::to_string(c.ordinal) + ", kind " +
                     std::to_string(c.examKind));
        DesktopRun run(c.ordinal, c.examKind);
        ASSERT_TRUE(run.WaitForDialog());
        const Picture screen = run.X().Screenshot();
        ASSERT_EQ(screen.Width(), 1024);

        // The title line after the gap is the chosen picture's.
        const Picture& expected = c.competitionPicture ? competition : regular;
        const Picture& other = c.competitionPicture ? regular : competition;
        EXPECT_GT(Agreement(screen, expected, 56, 8, 320, 36), 0.98);
        EXPECT_LT(Agreement(screen, other, 56, 8, 320, 36), 0.95);
        // The instructions and logo below the controls are the picture's, unscaled.
        EXPECT_GT(Agreement(screen, expected, 10, 240, 548, 400), 0.99);

        const int ink = OrdinalInkLeft(screen);
        SCOPED_TRACE("ordinal ink from x " + std::to_string(ink));
        EXPECT_GE(ink, c.inkFrom);
        EXPECT_LE(ink, c.inkTo);

        // The exit button ends the dialog, cancelled: nothing installed.
        run.X().Xdotool("mousemove 539 19 click 1");
        EXPECT_EQ(run.WaitForEnd(15), 0);
        EXPECT_FALSE(fs::exists(run.Machine().Folder() + "/drive_c/VemraExamDB"));
    }
}

TEST(DesktopDialog, ShapeButtonsAndDragging) {
    DesktopRun run(7, 1);
    ASSERT_TRUE(run.WaitForDialog());
    Picture screen = run.X().Screenshot();

    // At (0, 0) with the picture's size: the frame on the last row and column, the empty
    // screen just beyond.
    EXPECT_TRUE(Near(screen.At(557, 200), kFrame, 30));
    EXPECT_TRUE(Near(screen.At(558, 200), kRoot));
    EXPECT_TRUE(Near(screen.At(200, 409), kFrame, 30));
    EXPECT_TRUE(Near(screen.At(200, 410), kRoot));
    // Corners cut as Windows shows the round-rect region of 9 × 9 ellipses (seen under
    // Wine): the same curve at all four, three pixels off the outermost row, one off each of
    // the next two.
    struct Corner {
        int x, y;
        bool inside;
    };
    const Corner corners[] = {
        {2, 0, false},    {3, 0, true},      {0, 1, false},     {1, 1, true},     {0, 2, false},
        {1, 2, true},     {0, 3, true},      {555, 0, false},   {554, 0, true},   {557, 1, false},
        {556, 1, true},   {557, 2, false},   {557, 3, true},    {2, 409, false},  {3, 409, true},
        {0, 407, false},  {0, 406, true},    {555, 409, false}, {554, 409, true}, {557, 408, false},
        {556, 408, true}, {557, 407, false}, {557, 406, true}};
    for (const Corner& c : corners) {
        SCOPED_TRACE(std::to_string(c.x) + "," + std::to_string(c.y));
        EXPECT_EQ(!Near(screen.At(c.x, c.y), kRoot), c.inside);
    }

    // Cells of the install button: normal, highlighted, pressed; off the button while
    // held, it is normal again, and releasing there is no click.
    EXPECT_TRUE(Near(screen.At(kInstallFaceX, kInstallFaceY), kCellFaces[0]));
    run.X().Xdotool("mousemove " + std::to_string(kInstallCentreX) + " 218");
    EXPECT_TRUE(run.X().WaitForPixel(kInstallFaceX, kInstallFaceY, kCellFaces[1]));
    EXPECT_TRUE(Near(run.X().Screenshot().At(281 + 5, 218), kCellFaces[0]));  // cancel
    run.X().Xdotool("mousedown 1");
    EXPECT_TRUE(run.X().WaitForPixel(kInstallFaceX, kInstallFaceY, kCellFaces[2]));
    run.X().Xdotool("mousemove 200 320");
    EXPECT_TRUE(run.X().WaitForPixel(kInstallFaceX, kInstallFaceY, kCellFaces[0]));
    run.X().Xdotool("mouseup 1");
    EXPECT_FALSE(run.MessageBoxComes(2)) << "releasing off the button clicked it";
    EXPECT_EQ(run.Machine().Read("run/screen.log"), "");

    // A real click does reach the dialog: the empty exam number is refused.
    run.X().Xdotool("mousemove " + std::to_string(kInstallCentreX) + " 218 click 1");
    ASSERT_TRUE(run.MessageBoxComes());
    run.X().Xdotool("key Return");
    Pause(500);
    EXPECT_NE(run.Machine().Read("run/screen.log").find("수험번호 길이가 맞지 않습니다."),
              std::string::npos);

    // Dragging the face moves the window; dragging the painted ordinal moves it back.
    Drag(run.X(), 100, 80, 150, 130);
    EXPECT_TRUE(run.X().WaitForPixel(50, 250, kFrame, 30));
    screen = run.X().Screenshot();
    EXPECT_TRUE(Near(screen.At(20, 250), kRoot));
    EXPECT_TRUE(Near(screen.At(558 + 49, 250), kFrame, 30));
    Drag(run.X(), 82, 70, 32, 20);
    EXPECT_TRUE(run.X().WaitForPixel(0, 250, kFrame, 30));
    screen = run.X().Screenshot();
    EXPECT_TRUE(Near(screen.At(558, 250), kRoot));

    run.X().Xdotool("mousemove 539 19 click 1");
    EXPECT_EQ(run.WaitForEnd(15), 0);
}

// Pixels of the information icon's blue anywhere on the screen.
int InformationIconPixels(const Picture& screen) {
    int count = 0;
    for (int y = 0; y < screen.Height(); ++y) {
        for (int x = 0; x < screen.Width(); ++x) {
            count += Near(screen.At(x, y), Rgb{30, 100, 210}, 8) ? 1 : 0;
        }
    }
    return count;
}

TEST(DesktopDialog, MessageBoxesAnswerAsWindowsDoes) {
    DesktopRun run(7, 1, 7);
    // The reinstall question: yes/no with the information icon, captioned with the title.
    ASSERT_TRUE(run.MessageBoxComes(15));
    Pause(300);
    run.X().Xdotool("search --class '^MivoMessageBox$' mousemove --window %1 20 20");
    EXPECT_GT(InformationIconPixels(run.X().Screenshot()), 200);
    // Escape cannot answer a yes/no box; Enter presses its default, 예.
    run.X().Xdotool("key Escape");
    Pause(700);
    EXPECT_EQ(run.Machine().Read("run/screen.log"), "");
    EXPECT_TRUE(run.MessageBoxComes(1));
    run.X().Xdotool("key Return");
    ASSERT_TRUE(run.WaitForDialog());
    const std::string question = run.Machine().Read("run/screen.log");
    EXPECT_NE(question.find("caption=\"제 7 회 전산세무회계자격시험\" flags=0x44"),
              std::string::npos)
        << question;
    EXPECT_NE(question.find("answer=IDYES"), std::string::npos) << question;

    // An OK box (no icon asked for) answers Escape with IDOK. Enter in the exam-number field
    // is the dialog's install button: the short number is refused.
    run.X().Xdotool("mousemove 300 330");
    run.X().Xdotool("type --delay 40 1210");
    run.X().Xdotool("key Return");
    ASSERT_TRUE(run.MessageBoxComes());
    Pause(300);
    EXPECT_EQ(InformationIconPixels(run.X().Screenshot()), 0);
    run.X().Xdotool("key Escape");
    Pause(700);
    const std::string log = run.Machine().Read("run/screen.log");
    EXPECT_NE(log.find("text=\"수험번호 길이가 맞지 않습니다.\" answer=IDOK"), std::string::npos)
        << log;

    // Left Ctrl + L shows the package summary.
    run.X().Xdotool("key ctrl+l");
    ASSERT_TRUE(run.MessageBoxComes());
    run.X().Xdotool("key Return");
    Pause(700);
    const std::string summary = run.Machine().Read("run/screen.log");
    EXPECT_NE(summary.find("7회  Level2"), std::string::npos) << summary;

    run.X().Xdotool("mousemove 539 19 click 1");
    EXPECT_EQ(run.WaitForEnd(15), 0);
}

TEST(DesktopDialog, EnterPressesTheFocusedButtonOfABox) {
    DesktopRun run(7, 1, 7);
    ASSERT_TRUE(run.MessageBoxComes(15));
    Pause(300);
    // Tab moves the focus to 아니요; Enter then presses it, not the default 예.
    run.X().Xdotool("key Tab");
    Pause(200);
    run.X().Xdotool("key Return");
    EXPECT_EQ(run.WaitForEnd(15), 0);
    const std::string log = run.Machine().Read("run/screen.log");
    EXPECT_NE(log.find("answer=IDNO"), std::string::npos) << log;
}

TEST(DesktopDialog, TypingAndACompleteInstallation) {
    DesktopRun run(7, 1);
    ASSERT_TRUE(run.WaitForDialog());
    // The pointer rests on the face: without a window manager the keyboard follows it.
    run.X().Xdotool("mousemove 300 330");

    // The eighth digit of an invalid number brings the refusal at once.
    run.X().Xdotool("type --delay 40 1221234");
    EXPECT_FALSE(run.MessageBoxComes(1));
    run.X().Xdotool("type --delay 40 5");
    ASSERT_TRUE(run.MessageBoxComes());
    run.X().Xdotool("key Return");
    Pause(500);
    EXPECT_NE(run.Machine().Read("run/screen.log").find("잘못된 수험번호입니다.\" answer=IDOK"),
              std::string::npos);

    // A valid number opens the name field; digits of both rows, Tab and the hyphen insert
    // nothing there, so the typed name matches the register's "Kim Min-Jun".
    run.X().Xdotool("key ctrl+a BackSpace");
    run.X().Xdotool("type --delay 40 12100099");
    Pause(300);
    run.X().Xdotool("type --delay 40 5kim");
    run.X().Xdotool("key KP_5 Tab minus space");
    run.X().Xdotool("type --delay 40 min7jun");
    run.X().Xdotool("mousemove " + std::to_string(kInstallCentreX) + " 218 click 1");

    EXPECT_EQ(run.WaitForEnd(60), 0);
    const std::string log = run.Machine().Read("run/screen.log");
    EXPECT_EQ(std::count(log.begin(), log.end(), '\n'), 1) << log;
    EXPECT_TRUE(fs::is_directory(run.Machine().Folder() + "/drive_c/VemraExamDB"));
    // The main program records its start itself, shortly after the installer has gone.
    bool started = false;
    for (int attempt = 0; attempt < 50 && !started; ++attempt) {
        started =
            run.Machine().Read("run/started.log").find("role=main-program") != std::string::npos;
        Pause(100);
    }
    EXPECT_TRUE(started) << run.Machine().Read("run/started.log");
}

}  // namespace

namespace {

TEST(DesktopDialog, HangulNameThroughTheInputMethod) {
    if (!fs::exists("/usr/bin/nabi")) {
        GTEST_SKIP() << "nabi (a Hangul XIM server) is not installed";
    }
    DesktopRun run(7, 1, 0, true);
    ASSERT_TRUE(run.WaitForDialog());
    run.X().Xdotool("mousemove 300 330");
    run.X().Xdotool("type --delay 40 11100001");
    Pause(300);
    // Shift+Space switches nabi to Hangul; r-l-a a-l-s w-n-s on the two-set layout composes
    // 김민준, the register's name for 11100001. The letter keys pass the name field's
    // filter and the composed syllables arrive from the input method.
    run.X().Xdotool("key shift+space");
    run.X().Xdotool("type --delay 60 rlaalswns");
    run.X().Xdotool("key Right");
    run.X().Xdotool("mousemove " + std::to_string(kInstallCentreX) + " 218 click 1");
    EXPECT_EQ(run.WaitForEnd(60), 0);
    EXPECT_EQ(run.Machine().Read("run/screen.log"), "");
    EXPECT_TRUE(fs::is_directory(run.Machine().Folder() + "/drive_c/VemraExamDB"));
}

}  // namespace

namespace {

// The value of KEY=... in xdotool's --shell output; -1 when missing.
int ShellValue(const std::string& text, const std::string& key) {
    const size_t at = text.find(key + "=");
    return at == std::string::npos ? -1 : std::atoi(text.c_str() + at + key.size() + 1);
}

// Keys reach the dialog wherever the pointer is (a bare X server has no window manager to
// give it the focus), a message box opens centred on the dialog, and a paste of letters
// into the exam-number field is refused whole.
TEST(DesktopDialog, FocusBoxPlaceAndPasteIntoTheNumber) {
    DesktopRun run(7, 1);
    ASSERT_TRUE(run.WaitForDialog());
    run.X().Xdotool("mousemove 900 700");
    Pause(300);
    run.X().Xdotool("type --delay 40 1210");
    run.X().Xdotool("key Return");
    ASSERT_TRUE(run.MessageBoxComes()) << "the keys did not reach the dialog";
    Pause(300);
    const std::string geometry = run.Machine().Folder() + "/box-geometry";
    run.X().Run(
        "xdotool search --onlyvisible --class '^MivoMessageBox$' getwindowgeometry "
        "--shell %1 > '" +
        geometry + "'");
    const std::string shell = run.Machine().Read("box-geometry");
    EXPECT_NEAR(ShellValue(shell, "X") + ShellValue(shell, "WIDTH") / 2, 558 / 2, 2) << shell;
    EXPECT_NEAR(ShellValue(shell, "Y") + ShellValue(shell, "HEIGHT") / 2, 410 / 2, 2) << shell;
    run.X().Xdotool("key Escape");
    Pause(500);

    // The keyboard came back to the dialog: the number is completed, the name typed, copied,
    // and pasted over the number, which keeps its digits.
    run.X().Xdotool("type --delay 40 0001");
    Pause(300);
    run.X().Xdotool("type --delay 40 abc");
    run.X().Xdotool("key ctrl+a ctrl+c");
    run.X().Xdotool("mousemove 300 137 click 1");
    run.X().Xdotool("key ctrl+a ctrl+v");
    Pause(300);
    run.X().Xdotool("key Return");
    ASSERT_TRUE(run.MessageBoxComes());
    Pause(300);
    run.X().Xdotool("key Return");
    Pause(500);
    const std::string log = run.Machine().Read("run/screen.log");
    // Not "수험번호 길이가 맞지 않습니다." a second time: the register refuses 12100001 + abc.
    EXPECT_NE(log.find("입력하신 수험번호와 이름이"), std::string::npos) << log;
    run.X().Xdotool("mousemove 539 19 click 1");
    EXPECT_EQ(run.WaitForEnd(15), 0);
}

}  // namespace
