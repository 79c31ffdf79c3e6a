// The shell's side of the port chooser: what is read from the machine (on a faked file tree),
// the low-latency request (on a faked driver), and which device a COM port ends up naming.
#include "port_choice.hpp"

#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <QCommandLineParser>
#include <cerrno>
#include <filesystem>
#include <tuple>

#include "low_latency.hpp"
#include "options.hpp"
#include "port_facts.hpp"
#include "temp_dir.hpp"

namespace qtx::test {
namespace {

namespace fs = std::filesystem;

// Beneath the faked root, whether the path is written absolute or not.
fs::path at(const TempDir& root, const std::string& path) {
    return fs::path(root.path("")) / fs::path(path).relative_path();
}

void file(const TempDir& root, const std::string& path, const std::string& text) {
    fs::create_directories(at(root, path).parent_path());
    TempDir::write(at(root, path), text);
}

void link(const TempDir& root, const std::string& path, const std::string& target) {
    fs::create_directories(at(root, path).parent_path());
    fs::create_symlink(target, at(root, path));
}

TEST(PortFactsTest, ReadFromProcSysAndDev) {
    TempDir root;
    const std::string byId = "/dev/serial/by-id/usb-FTDI_FT232R-if00-port0";
    file(root, "dev/ttyUSB0", "");
    ::chmod(at(root, "dev/ttyUSB0").c_str(), 0660);
    link(root, byId, "../../ttyUSB0");
    link(root, "dev/serial/by-id/usb-Other-if00", "../../ttyACM0");
    file(root, "etc/group", "lp:x:99990:\ntty:x:" + std::to_string(::getegid()) + ":\n");
    file(root, "proc/100/comm", "minicom\n");
    link(root, "proc/100/fd/3", "/dev/ttyUSB0");
    link(root, "proc/100/fd/4", "/dev/null");
    file(root, "proc/200/comm", "ModemManager\n");
    file(root, "proc/300/comm", "brltty\n");
    link(root, "proc/300/fd/0", "/dev/ttyACM0");
    file(root, "proc/55/comm", "qtx-console\n");  // the console itself
    link(root, "proc/55/fd/9", "/dev/ttyUSB0");
    file(root, "proc/self/comm", "not a process\n");
    file(root, "sys/bus/usb-serial/devices/ttyUSB0/latency_timer", "16\n");
    link(root, "sys/class/tty/ttyUSB0/device/driver",
         "../../../../bus/usb-serial/drivers/ftdi_sio");

    const SystemView view{root.path(""), 55, {4, 24}};
    const PortFacts f = gatherPortFacts(byId, view);
    EXPECT_EQ(f.device, byId);
    EXPECT_EQ(f.target, "/dev/ttyUSB0");
    EXPECT_TRUE(f.exists);
    EXPECT_EQ(f.mode, 0660u);
    EXPECT_EQ(f.gid, ::getegid());
    EXPECT_EQ(f.groupName, "tty");
    EXPECT_EQ(f.processGroups, (std::vector<std::uint32_t>{4, 24}));
    EXPECT_EQ(f.holders, (std::vector<PortHolder>{{100, "minicom"}}));
    EXPECT_EQ(f.daemons, (std::vector<std::string>{"ModemManager", "brltty"}));
    EXPECT_EQ(f.latencyTimerMs, 16);
    EXPECT_EQ(f.driver, "ftdi_sio");

    // Gone, with nothing about it in /sys.
    const PortFacts gone = gatherPortFacts("/dev/ttyACM0", view);
    EXPECT_FALSE(gone.exists);
    EXPECT_EQ(gone.holders, (std::vector<PortHolder>{{300, "brltty"}}));
    EXPECT_EQ(gone.latencyTimerMs, std::nullopt);
    EXPECT_EQ(gone.driver, "");

    EXPECT_EQ(byIdNames(root.path("")), (std::map<std::string, std::vector<std::string>>{
                                            {"/dev/ttyACM0", {"/dev/serial/by-id/usb-Other-if00"}},
                                            {"/dev/ttyUSB0", {byId}}}));
}

class FakeDriver : public SerialDriver {
  public:
    int getError = 0, setError = 0;
    serial_struct current{};
    std::vector<serial_struct> set;

    int getSerial(int fd, serial_struct& info) override {
        EXPECT_EQ(fd, 7);
        if (getError != 0) return errno = getError, -1;
        info = current;
        return 0;
    }
    int setSerial(int fd, const serial_struct& info) override {
        EXPECT_EQ(fd, 7);
        set.push_back(info);
        return setError != 0 ? (errno = setError, -1) : 0;
    }
};

TEST(LowLatencyTest, SetsTheFlagAndNothingElse) {
    const int spd = ASYNC_SPD_HI;
    const struct {
        int flags, getError, setError;
        LowLatency result;
        bool setCalled;
    } cases[] = {
        {spd, 0, 0, LowLatency::Set, true},
        {spd | ASYNC_LOW_LATENCY, 0, 0, LowLatency::AlreadySet, false},
        {spd, ENOTTY, 0, LowLatency::Unsupported, false},  // a pseudo-terminal
        {spd, 0, EPERM, LowLatency::Unsupported, true},
    };
    for (const auto& c : cases) {
        FakeDriver driver;
        driver.current.type = 4;
        driver.current.line = 3;
        driver.current.baud_base = 24000000;
        driver.current.custom_divisor = 12;
        driver.current.closing_wait = 3000;
        driver.current.flags = c.flags;
        driver.getError = c.getError;
        driver.setError = c.setError;
        EXPECT_EQ(requestLowLatency(7, driver), c.result);
        ASSERT_EQ(driver.set.size(), c.setCalled ? 1u : 0u);
        if (!c.setCalled) continue;
        const auto fields = [](const serial_struct& s) {
            return std::tuple(s.type, s.line, s.port, s.irq, s.flags, s.xmit_fifo_size,
                              s.custom_divisor, s.baud_base, s.close_delay, s.closing_wait);
        };
        serial_struct expected = driver.current;
        expected.flags |= ASYNC_LOW_LATENCY;
        EXPECT_EQ(fields(driver.set[0]), fields(expected));
    }
}

TEST(PortChoiceTest, CommandLineWinsOverTheRememberedChoice) {
    TempDir dir;
    const PortMap defaults = PortMap::platformDefault();
    EXPECT_EQ(defaults.com1 + " " + defaults.com2, "/dev/ttyS0 /dev/ttyS1");
    EXPECT_EQ(defaults.device(3), "");
    const QString a = "/dev/serial/by-id/usb-A", b = "/dev/serial/by-id/usb-B";
    const struct {
        QString rememberedCom1, rememberedCom2;  // "": nothing remembered
        QStringList args;
        QString com1, com2;
    } cases[] = {
        {"", "", {"qtx-console"}, defaults.com1, defaults.com2},
        {a, "", {"qtx-console"}, a, defaults.com2},
        {"", b, {"qtx-console"}, defaults.com1, b},
        {a, b, {"qtx-console", "--com1", "/dev/pts/3"}, "/dev/pts/3", b},
        {a, b, {"qtx-console", "--com2=/dev/pts/4"}, a, "/dev/pts/4"},
        {"",
         "",
         {"qtx-console", "--com2", "/dev/pts/4", "--com1=/dev/pts/3"},
         "/dev/pts/3",
         "/dev/pts/4"},
    };
    int run = 0;
    for (const auto& c : cases) {
        const QString path = QString::fromStdString(dir.path(std::to_string(run++) + ".conf"));
        {
            QSettings written(path, QSettings::IniFormat);
            if (!c.rememberedCom1.isEmpty()) rememberPort(written, 1, c.rememberedCom1);
            if (!c.rememberedCom2.isEmpty()) rememberPort(written, 2, c.rememberedCom2);
        }
        QSettings settings(path, QSettings::IniFormat);
        QCommandLineParser parser;
        addOptions(parser);
        ASSERT_TRUE(parser.parse(c.args));
        const Options options = readOptions(parser, rememberedPorts(settings));
        EXPECT_EQ(options.ports.device(1), c.com1);
        EXPECT_EQ(options.ports.device(2), c.com2);
    }
    QCommandLineParser parser;
    addOptions(parser);
    const QString help = parser.helpText();
    EXPECT_TRUE(help.contains("--com1 <PATH>") && help.contains("--com2 <PATH>"));
    EXPECT_FALSE(help.contains("screenshot"));
}

}  // namespace
}  // namespace qtx::test
