// The shell's logic without a window or a port, each in a short table; what is read from the
// machine on a faked file tree, the low-latency request on a faked driver.
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <QCommandLineParser>
#include <cerrno>
#include <filesystem>

#include "low_latency.hpp"
#include "options.hpp"
#include "picture_view.hpp"
#include "port_choice.hpp"
#include "port_facts.hpp"
#include "progress_meter.hpp"
#include "temp_dir.hpp"
#include "zoom.hpp"

namespace qtx::test {
namespace {

TEST(SerialSettingsTest, ParsesTheSettingsString) {
    using P = QSerialPort;
    const std::pair<const char*, SerialSettings> good[] = {
        {"115200,N,8,2", {115200, P::NoParity, P::Data8, P::TwoStop}},
        {" 9600 , e , 7 , 1.5 ", {9600, P::EvenParity, P::Data7, P::OneAndHalfStop}},
        {"300,O,5,1", {300, P::OddParity, P::Data5, P::OneStop}},
        {"1200,M,6,1", {1200, P::MarkParity, P::Data6, P::OneStop}},
        {"2400,S,8,1", {2400, P::SpaceParity, P::Data8, P::OneStop}},
    };
    for (const auto& [text, settings] : good) EXPECT_EQ(parseSerialSettings(text), settings);
    for (const char* bad :
         {"", "115200,N,8", "115200,N,8,2,1", "0,N,8,2", "99999999999,N,8,2", "fast,N,8,2",
          "115200,X,8,2", "115200,N,9,2", "115200,N,4,2", "115200,N,8,3"}) {
        EXPECT_EQ(parseSerialSettings(bad), std::nullopt) << bad;
    }
    // Missing and busy devices are named through the window; these are the other two cases.
    EXPECT_EQ(describeOpenFailure({"/dev/ttyUSB0", true, false, QSerialPort::PermissionError, "x"}),
              "/dev/ttyUSB0: no permission; join the dialout group (sudo usermod -aG dialout "
              "$USER), then log out and in again.");
    EXPECT_EQ(
        describeOpenFailure({"/dev/ttyUSB0", true, true, QSerialPort::OpenError, "I/O error"}),
        "/dev/ttyUSB0: could not be opened (I/O error).");
}

TEST(PortChoiceTest, CommandLineWinsOverTheRememberedChoice) {
    TempDir dir;
    const QString a = "/dev/serial/by-id/usb-A", b = "/dev/serial/by-id/usb-B";
    const std::pair<QStringList, QString> cases[] = {
        {{}, "/dev/ttyS0 /dev/ttyS1"},  // nothing remembered, nothing given
        {{"--com1", "/dev/pts/3"}, "/dev/pts/3 " + b},
        {{"--com2=/dev/pts/4"}, a + " /dev/pts/4"},
    };
    for (const auto& [args, ports] : cases) {
        const QString path = QString::fromStdString(dir.path(args.isEmpty() ? "none" : "a-b"));
        if (!args.isEmpty()) {
            QSettings remembered(path, QSettings::IniFormat);
            rememberPort(remembered, 1, a);
            rememberPort(remembered, 2, b);
        }
        QCommandLineParser parser;
        addOptions(parser);
        ASSERT_TRUE(parser.parse(QStringList{"qtx-console"} + args));
        const PortMap p =
            readOptions(parser, rememberedPorts(QSettings(path, QSettings::IniFormat))).ports;
        EXPECT_EQ(p.com1 + " " + p.com2, ports);
    }
}

TEST(PortFactsTest, ReadFromProcSysAndDev) {
    TempDir root;
    const std::string byId = "/dev/serial/by-id/usb-FTDI_FT232R-if00-port0";
    const std::pair<std::string, std::string> tree[] = {
        // a file's text, or "->" a link
        {"dev/ttyUSB0", ""},
        {byId, "->../../ttyUSB0"},
        {"etc/group", "lp:x:99990:\ntty:x:" + std::to_string(::getegid()) + ":\n"},
        {"proc/100/comm", "minicom\n"},
        {"proc/100/fd/3", "->/dev/ttyUSB0"},
        {"proc/200/comm", "ModemManager\n"},
        {"proc/300/comm", "brltty\n"},
        {"proc/300/fd/0", "->/dev/ttyACM0"},
        {"proc/55/comm", "qtx-console\n"},  // the console itself
        {"proc/55/fd/9", "->/dev/ttyUSB0"},
        {"sys/bus/usb-serial/devices/ttyUSB0/latency_timer", "16\n"},
        {"sys/class/tty/ttyUSB0/device/driver", "->../../../../bus/usb-serial/drivers/ftdi_sio"},
    };
    for (const auto& [path, what] : tree) {
        const std::filesystem::path at = root.path(std::filesystem::path(path).relative_path());
        std::filesystem::create_directories(at.parent_path());
        if (what.starts_with("->")) std::filesystem::create_symlink(what.substr(2), at);
        if (!what.starts_with("->")) TempDir::write(at, what);
    }
    ::chmod(root.path("dev/ttyUSB0").c_str(), 0660);

    const SystemView view{root.path(""), 55, {}};
    const PortFacts f = gatherPortFacts(byId, view);
    EXPECT_EQ(std::tie(f.target, f.exists, f.mode, f.gid, f.groupName, f.latencyTimerMs, f.driver),
              std::tuple("/dev/ttyUSB0", true, 0660u, ::getegid(), "tty", 16, "ftdi_sio"));
    EXPECT_EQ(f.holders, (std::vector<PortHolder>{{100, "minicom"}}));
    EXPECT_EQ(f.daemons, (std::vector<std::string>{"ModemManager", "brltty"}));
    const PortFacts gone = gatherPortFacts("/dev/ttyACM0", view);  // nothing about it in /sys
    EXPECT_EQ(std::tie(gone.exists, gone.latencyTimerMs, gone.driver),
              std::tuple(false, std::nullopt, ""));
    EXPECT_EQ(gone.holders, (std::vector<PortHolder>{{300, "brltty"}}));
    EXPECT_EQ(byIdNames(root.path("")),
              (std::map<std::string, std::vector<std::string>>{{"/dev/ttyUSB0", {byId}}}));
}

// Settings that hold `flags`; records the flags of each setting, -1 when more changed.
struct FakeDriver : SerialDriver {
    int flags = 0, getError = 0, setError = 0;
    std::vector<int> set;
    int getSerial(int, serial_struct& info) override {
        info.flags = flags, info.baud_base = 24000000;
        return getError != 0 ? (errno = getError, -1) : 0;
    }
    int setSerial(int, const serial_struct& info) override {
        set.push_back(info.baud_base == 24000000 ? info.flags : -1);
        return setError != 0 ? (errno = setError, -1) : 0;
    }
};

TEST(LowLatencyTest, SetsTheFlagAndNothingElse) {
    const int spd = ASYNC_SPD_HI, low = ASYNC_LOW_LATENCY;
    const std::tuple<int, int, int, LowLatency, std::vector<int>> cases[] = {
        {spd, 0, 0, LowLatency::Set, {spd | low}},
        {spd | low, 0, 0, LowLatency::AlreadySet, {}},
        {spd, ENOTTY, 0, LowLatency::Unsupported, {}},  // a pseudo-terminal
        {spd, 0, EPERM, LowLatency::Unsupported, {spd | low}},
    };
    for (const auto& [flags, getError, setError, result, set] : cases) {
        FakeDriver driver;
        driver.flags = flags, driver.getError = getError, driver.setError = setError;
        EXPECT_EQ(requestLowLatency(7, driver), result);
        EXPECT_EQ(driver.set, set);
    }
}

TEST(ZoomTest, PixelsFitAndTheKeys) {
    EXPECT_EQ(picturePixelAt(-0.5, 3), -1);  // just off the left edge stays off it
    const int fits[][3] = {{959, 600, 2}, {960, 600, 3}, {1920, 601, 3}, {319, 199, 1}};
    for (const auto& [width, height, factor] : fits) {
        EXPECT_EQ(zoomFactor(Zoom::Fit, width, height, 320, 200), factor) << width << "x" << height;
    }
    EXPECT_EQ((std::vector{zoomIn(Zoom::Three), zoomIn(Zoom::Fit), zoomOut(Zoom::Two),
                           zoomOut(Zoom::One), zoomIn(Zoom::One), zoomOut(Zoom::Fit)}),
              (std::vector{Zoom::Fit, Zoom::Fit, Zoom::One, Zoom::One, Zoom::Two, Zoom::Three}));
    EXPECT_EQ((std::vector{buttonMask(Qt::LeftButton), buttonMask(Qt::RightButton),
                           buttonMask(Qt::MiddleButton), shiftMask(Qt::ShiftModifier),
                           shiftMask(Qt::ControlModifier), shiftMask(Qt::AltModifier)}),
              (std::vector{1, 2, 4, 1, 2, 4}));
}

// What the progress line says and how often ("-": nothing new): at most every period, except
// when the count of repeats changes or the transfer ends; a time left once rows have come.
TEST(ProgressMeterTest, TextsAndTheirPace) {
    using K = Progress::Kind;
    ProgressMeter meter(250);
    const std::tuple<Progress, qint64, const char*> steps[] = {
        {{K::Rows, 0, 200}, 0, "Row 0 of 200"},
        {{K::Rows, 0, 200, 1}, 100, "Row 0 of 200, 1 repeated"},
        {{K::Rows, 10, 200, 1}, 349, "-"},
        {{K::Rows, 50, 200, 1}, 1000, "Row 50 of 200, 1 repeated, about 3 s left"},
        {{K::Rows, 60, 200, 2}, 1001, "Row 60 of 200, 2 repeated, about 3 s left"},
        {{K::Rows, 200, 200, 2}, 1002, "Row 200 of 200, 2 repeated, about 0 s left"},
        {{K::Rows, 9, 200, 0, 5, 2, 7}, 1003, "Buffer 5, image 2 of 7: row 9 of 200"},
        {{K::Pages, 3, 192}, 1004, "Page 3 of 192"},
    };
    for (const auto& [progress, nowMs, text] : steps) {
        const auto shown = meter.update(progress, nowMs);
        EXPECT_EQ(shown ? shown->text.toStdString() : "-", text);
    }
}

}  // namespace
}  // namespace qtx::test
