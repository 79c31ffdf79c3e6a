// The shell's own logic without a window or a port: the settings string, the words for a
// port that did not open, the command line, what is read from the machine about a port (on
// a faked file tree), the low-latency request (on a faked driver), zoom and progress.
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <QCommandLineParser>
#include <cerrno>
#include <filesystem>

#include "low_latency.hpp"
#include "options.hpp"
#include "port_choice.hpp"
#include "port_facts.hpp"
#include "progress_meter.hpp"
#include "temp_dir.hpp"
#include "zoom.hpp"

namespace qtx::test {
namespace {

TEST(SerialSettingsTest, ParsesTheSettingsString) {
    using P = QSerialPort;
    const struct {
        const char* text;
        SerialSettings expected;
    } good[] = {
        {"115200,N,8,2", {115200, P::NoParity, P::Data8, P::TwoStop}},
        {" 9600 , e , 7 , 1.5 ", {9600, P::EvenParity, P::Data7, P::OneAndHalfStop}},
        {"300,O,5,1", {300, P::OddParity, P::Data5, P::OneStop}},
        {"1200,M,6,1", {1200, P::MarkParity, P::Data6, P::OneStop}},
        {"2400,S,8,1", {2400, P::SpaceParity, P::Data8, P::OneStop}},
    };
    for (const auto& c : good) EXPECT_EQ(parseSerialSettings(c.text), c.expected) << c.text;
    for (const char* bad :
         {"", "115200,N,8", "115200,N,8,2,1", "0,N,8,2", "99999999999,N,8,2", "fast,N,8,2",
          "115200,X,8,2", "115200,N,9,2", "115200,N,4,2", "115200,N,8,3"}) {
        EXPECT_EQ(parseSerialSettings(bad), std::nullopt) << bad;
    }
}

// Missing and busy devices are named through the window; these are the other two cases.
TEST(SerialSettingsTest, OpenFailureSaysWhatToDo) {
    const QString dev = "/dev/ttyUSB0";
    EXPECT_EQ(describeOpenFailure({dev, true, false, QSerialPort::PermissionError, "x"}),
              "/dev/ttyUSB0: no permission; join the dialout group (sudo usermod -aG dialout "
              "$USER), then log out and in again.");
    EXPECT_EQ(describeOpenFailure({dev, true, true, QSerialPort::OpenError, "I/O error"}),
              "/dev/ttyUSB0: could not be opened (I/O error).");
}

TEST(PortChoiceTest, CommandLineWinsOverTheRememberedChoice) {
    TempDir dir;
    const QString a = "/dev/serial/by-id/usb-A", b = "/dev/serial/by-id/usb-B";
    const struct {
        QString remembered1, remembered2;  // "": nothing remembered
        QStringList args;
        QString ports;
    } cases[] = {
        {"", "", {}, "/dev/ttyS0 /dev/ttyS1"},
        {a, "", {}, a + " /dev/ttyS1"},
        {a, b, {"--com1", "/dev/pts/3"}, "/dev/pts/3 " + b},
        {a, b, {"--com2=/dev/pts/4"}, a + " /dev/pts/4"},
    };
    int run = 0;
    for (const auto& c : cases) {
        const QString path = QString::fromStdString(dir.path(std::to_string(run++)));
        {
            QSettings written(path, QSettings::IniFormat);
            if (!c.remembered1.isEmpty()) rememberPort(written, 1, c.remembered1);
            if (!c.remembered2.isEmpty()) rememberPort(written, 2, c.remembered2);
        }
        QCommandLineParser parser;
        addOptions(parser);
        ASSERT_TRUE(parser.parse(QStringList{"qtx-console"} + c.args));
        const PortMap p =
            readOptions(parser, rememberedPorts(QSettings(path, QSettings::IniFormat))).ports;
        EXPECT_EQ(p.com1 + " " + p.com2, c.ports);
    }
}

TEST(PortFactsTest, ReadFromProcSysAndDev) {
    TempDir root;
    const std::string byId = "/dev/serial/by-id/usb-FTDI_FT232R-if00-port0";
    const std::string tty = "tty:x:" + std::to_string(::getegid()) + ":\n";
    // A file with its text, or a symbolic link to what follows "->".
    const std::pair<std::string, std::string> tree[] = {
        {"dev/ttyUSB0", ""},
        {byId, "->../../ttyUSB0"},
        {"dev/serial/by-id/usb-Other-if00", "->../../ttyACM0"},
        {"etc/group", "lp:x:99990:\n" + tty},
        {"proc/100/comm", "minicom\n"},
        {"proc/100/fd/3", "->/dev/ttyUSB0"},
        {"proc/100/fd/4", "->/dev/null"},
        {"proc/200/comm", "ModemManager\n"},
        {"proc/300/comm", "brltty\n"},
        {"proc/300/fd/0", "->/dev/ttyACM0"},
        {"proc/55/comm", "qtx-console\n"},  // the console itself
        {"proc/55/fd/9", "->/dev/ttyUSB0"},
        {"proc/self/comm", "not a process\n"},
        {"sys/bus/usb-serial/devices/ttyUSB0/latency_timer", "16\n"},
        {"sys/class/tty/ttyUSB0/device/driver", "->../../../../bus/usb-serial/drivers/ftdi_sio"},
    };
    for (const auto& [path, what] : tree) {
        const std::string at = root.path(std::filesystem::path(path).relative_path());
        std::filesystem::create_directories(std::filesystem::path(at).parent_path());
        if (what.starts_with("->")) {
            std::filesystem::create_symlink(what.substr(2), at);
        } else {
            TempDir::write(at, what);
        }
    }
    ::chmod(root.path("dev/ttyUSB0").c_str(), 0660);

    const SystemView view{root.path(""), 55, {}};
    const PortFacts f = gatherPortFacts(byId, view);
    EXPECT_EQ(std::tie(f.target, f.exists, f.mode, f.gid, f.groupName, f.latencyTimerMs, f.driver),
              std::tuple("/dev/ttyUSB0", true, 0660u, ::getegid(), "tty", 16, "ftdi_sio"));
    EXPECT_EQ(f.holders, (std::vector<PortHolder>{{100, "minicom"}}));
    EXPECT_EQ(f.daemons, (std::vector<std::string>{"ModemManager", "brltty"}));
    // Gone, with nothing about it in /sys.
    const PortFacts gone = gatherPortFacts("/dev/ttyACM0", view);
    EXPECT_EQ(std::tie(gone.exists, gone.latencyTimerMs, gone.driver),
              std::tuple(false, std::nullopt, ""));
    EXPECT_EQ(gone.holders, (std::vector<PortHolder>{{300, "brltty"}}));
    EXPECT_EQ(byIdNames(root.path("")), (std::map<std::string, std::vector<std::string>>{
                                            {"/dev/ttyACM0", {"/dev/serial/by-id/usb-Other-if00"}},
                                            {"/dev/ttyUSB0", {byId}}}));
}

class FakeDriver : public SerialDriver {
  public:
    int getError = 0, setError = 0, flags = 0;
    std::vector<serial_struct> set;

    int getSerial(int, serial_struct& info) override {
        info.flags = flags;
        info.baud_base = 24000000;
        return getError != 0 ? (errno = getError, -1) : 0;
    }
    int setSerial(int, const serial_struct& info) override {
        set.push_back(info);
        return setError != 0 ? (errno = setError, -1) : 0;
    }
};

TEST(LowLatencyTest, SetsTheFlagAndNothingElse) {
    const int spd = ASYNC_SPD_HI, low = ASYNC_LOW_LATENCY;
    const struct {
        int flags, getError, setError;
        LowLatency result;
        std::vector<int> setFlags;
    } cases[] = {
        {spd, 0, 0, LowLatency::Set, {spd | low}},
        {spd | low, 0, 0, LowLatency::AlreadySet, {}},
        {spd, ENOTTY, 0, LowLatency::Unsupported, {}},  // a pseudo-terminal
        {spd, 0, EPERM, LowLatency::Unsupported, {spd | low}},
    };
    for (const auto& c : cases) {
        FakeDriver driver;
        driver.flags = c.flags;
        driver.getError = c.getError;
        driver.setError = c.setError;
        EXPECT_EQ(requestLowLatency(7, driver), c.result);
        std::vector<int> setFlags;
        for (const serial_struct& s : driver.set) {
            setFlags.push_back(s.flags);
            EXPECT_EQ(s.baud_base, 24000000);
        }
        EXPECT_EQ(setFlags, c.setFlags);
    }
}

TEST(ZoomTest, PixelsFitAndTheKeys) {
    const struct {
        double screen;
        int factor;
        double pixel;
    } pixels[] = {{0.9, 1, 0},  {1, 1, 1}, {1.9, 2, 0},  {2, 2, 1},
                  {2.99, 3, 0}, {3, 3, 1}, {-0.5, 3, -1}};  // just off the left edge stays off it
    for (const auto& c : pixels) {
        EXPECT_EQ(picturePixelAt(c.screen, c.factor), c.pixel) << c.screen << " at " << c.factor;
    }
    const struct {
        Zoom zoom;
        int width, height, factor;
    } fits[] = {
        {Zoom::Fit, 959, 600, 2}, {Zoom::Fit, 960, 600, 3},   {Zoom::Fit, 1920, 601, 3},
        {Zoom::Fit, 319, 199, 1}, {Zoom::One, 2000, 1000, 1}, {Zoom::Three, 320, 200, 3},
    };
    for (const auto& f : fits) {
        EXPECT_EQ(zoomFactor(f.zoom, f.width, f.height, 320, 200), f.factor)
            << f.width << " x " << f.height;
    }
    Zoom zoom = Zoom::One;
    std::vector<Zoom> walked;
    for (int i = 0; i < 8; ++i) walked.push_back(zoom = i < 4 ? zoomIn(zoom) : zoomOut(zoom));
    EXPECT_EQ(walked, (std::vector<Zoom>{Zoom::Two, Zoom::Three, Zoom::Fit, Zoom::Fit, Zoom::Three,
                                         Zoom::Two, Zoom::One, Zoom::One}));
}

// What the progress line says and how often: at most every period, except when the count
// of repeats changes or the transfer ends; a time left only once rows have come.
TEST(ProgressMeterTest, TextsAndTheirPace) {
    using K = Progress::Kind;
    ProgressMeter meter(250);
    const struct {
        Progress p;
        qint64 nowMs;
        const char* text;  // nullptr: nothing new shown
    } steps[] = {
        {{K::Rows, 0, 200}, 0, "Row 0 of 200"},
        {{K::Rows, 0, 200, 1}, 100, "Row 0 of 200, 1 repeated"},
        {{K::Rows, 10, 200, 1}, 349, nullptr},
        {{K::Rows, 50, 200, 1}, 1000, "Row 50 of 200, 1 repeated, about 3 s left"},
        {{K::Rows, 60, 200, 2}, 1001, "Row 60 of 200, 2 repeated, about 3 s left"},
        {{K::Rows, 200, 200, 2}, 1002, "Row 200 of 200, 2 repeated, about 0 s left"},
        {{K::Rows, 9, 200, 0, 5, 2, 7}, 1003, "Buffer 5, image 2 of 7: row 9 of 200"},
        {{K::Pages, 3, 192}, 1004, "Page 3 of 192"},
    };
    for (const auto& s : steps) {
        const auto shown = meter.update(s.p, s.nowMs);
        EXPECT_EQ(shown ? shown->text.toStdString() : "-", s.text ? s.text : "-");
    }
}

}  // namespace
}  // namespace qtx::test
