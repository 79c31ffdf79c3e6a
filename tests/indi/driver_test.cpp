// indi_qtx under a real indiserver on a loopback port, the QTX being qtx-sim on a
// pseudo-terminal, seen by a client over the INDI protocol: what a client of the driver can
// see. What the console does inside is the core suites'.
#include <fcntl.h>
#include <fitsio.h>
#include <gtest/gtest.h>
#include <termios.h>
#include <unistd.h>

#include <algorithm>
#include <fstream>
#include <sstream>

#include "indi_client.hpp"
#include "model/qtx_model.hpp"
#include "programs.hpp"
#include "ser2net.hpp"
#include "temp_dir.hpp"
#include "upload_names.hpp"

namespace qtx::test {
namespace {

struct Decoded {
    long width = 0, height = 0;
    std::vector<std::uint16_t> pixels;  // as stored: FITS row 1 first
    double exptime = -1;
};

Decoded decodeFits(std::string bytes) {
    Decoded d;
    void* memory = bytes.data();
    std::size_t size = bytes.size();
    fitsfile* f = nullptr;
    int status = 0;
    fits_open_memfile(&f, "blob", READONLY, &memory, &size, 0, nullptr, &status);
    long axes[2] = {0, 0};
    fits_get_img_size(f, 2, axes, &status);
    d.width = axes[0], d.height = axes[1];
    d.pixels.resize(status == 0 ? static_cast<std::size_t>(d.width * d.height) : 0);
    fits_read_img(f, TUSHORT, 1, d.width * d.height, nullptr, d.pixels.data(), nullptr, &status);
    fits_read_key(f, TDOUBLE, "EXPTIME", &d.exptime, nullptr, &status);
    int closing = 0;
    if (f) fits_close_file(f, &closing);
    return status == 0 ? d : Decoded{};
}

std::size_t count(const std::string& text, const std::string& what) {
    std::size_t n = 0;
    for (std::size_t at = text.find(what); at != std::string::npos; at = text.find(what, at + 1))
        ++n;
    return n;
}

// The screen image a fresh simulated QTX holds after `keys`, FITS row 1 (the bottom) first.
std::vector<std::uint16_t> screenAfter(std::initializer_list<int> keys) {
    sim::QtxModel model;
    for (const int key : keys) model.pressKey(key);
    const sim::ImageBuffer& screen = model.buffer(31);
    std::vector<std::uint16_t> bottomFirst;
    for (int y = screen.header.height - 1; y >= 0; --y)
        bottomFirst.insert(bottomFirst.end(), screen.row(y).begin(), screen.row(y).end());
    return bottomFirst;
}

speed_t lineSpeed(const std::string& device) {
    const int fd = ::open(device.c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
    termios t{};
    ::tcgetattr(fd, &t);
    ::close(fd);
    return ::cfgetospeed(&t);
}

// The simulated QTX, an indiserver with the driver (its configuration kept in the test's
// folder), and a client connected to it.
struct Observatory {
    explicit Observatory(const QString& simBaud, const QString& simFault = "") {
        ::setenv("HOME", dir.path("").c_str(), 1);
        startSim(simBaud, simFault);
        // A local socket of its own: the default one is the machine's, and a second indiserver
        // (a parallel test, one at work) would stop this one from starting.
        server = std::make_unique<Program>(
            INDISERVER_PROGRAM,
            QStringList{"-p", QString::number(port), "-u", QString::fromStdString(dir.path("indi")),
                        INDI_QTX_PROGRAM});
        client = std::make_unique<IndiClient>(port);
        client->send("<getProperties version='1.7'/>\n");
        // The connection's properties are there (the port is defined before the speed).
        ready = client->awaitVector("defSwitchVector", "DEVICE_BAUD_RATE").has_value();
    }
    void startSim(const QString& baud, const QString& fault = "") {
        QStringList args{"--baud", baud, "--log", QString::fromStdString(dir.path("sim.log"))};
        if (!fault.isEmpty()) args << fault;
        sim = std::make_unique<Sim>(args);
        device = sim->device.toStdString();
    }
    // DEVICE_PORT, then CONNECT: true when the connection is up.
    bool connect() {
        client->set("Text", "DEVICE_PORT", "PORT", device);
        client->set("Switch", "CONNECTION", "CONNECT");
        return client->awaitVector("setSwitchVector", "CONNECTION", "Ok").has_value();
    }
    std::string simLog() const {
        std::stringstream s;
        s << std::ifstream(dir.path("sim.log")).rdbuf();
        return s.str();
    }

    TempDir dir;
    int port = freeLoopbackPort();
    std::unique_ptr<Sim> sim;
    std::string device;
    std::unique_ptr<Program> server;
    std::unique_ptr<IndiClient> client;
    bool ready = false;
};

// A text `element` of the vector `name` that starts with `prefix`.
bool awaitText(IndiClient& c, const std::string& name, const std::string& element,
               const std::string& prefix) {
    return c
        .await([&](const IndiMessage& m) {
            return m.tag == "setTextVector" && m.name == name && m.values.count(element) &&
                   m.values.at(element).rfind(prefix, 0) == 0;
        })
        .has_value();
}

TEST(IndiDriver, LinksPressesKeysExposesAndLeavesRemoteOperation) {
    Observatory o("2000000");  // fast: the whole image in about a second
    ASSERT_FALSE(o.device.empty());
    ASSERT_TRUE(o.ready);
    IndiClient& c = *o.client;

    // Refused, with a word, and nothing reaches the QTX: a speed it lacks, a key it lacks.
    c.set("Switch", "DEVICE_BAUD_RATE", "9600");
    const auto baud = c.awaitVector("setSwitchVector", "DEVICE_BAUD_RATE", "Alert");
    ASSERT_TRUE(baud);
    EXPECT_NE(baud->message.find("no speed of 9600"), std::string::npos) << baud->message;
    EXPECT_EQ(baud->values.at("115200"), "On");

    ASSERT_TRUE(o.connect());
    // The QTX's own display, mirrored once it answers the switch to remote operation.
    ASSERT_TRUE(awaitText(c, "QTX_DISPLAY", "LINE_1", "QTX  READY      REMOTE"));
    c.set("Switch", "QTX_ACQUIRE", "SHUTTER");
    EXPECT_TRUE(c.awaitVector("setSwitchVector", "QTX_ACQUIRE", "Alert"));
    c.set("Switch", "QTX_SETUP", "SETUP");
    EXPECT_TRUE(c.awaitVector("setSwitchVector", "QTX_SETUP", "Ok"));  // acknowledged
    EXPECT_TRUE(awaitText(c, "QTX_DISPLAY", "LINE_1", "SETUP  Exposure"));

    // An exposure: the Image key, then the screen image as a FITS BLOB. The QTX exposes as
    // set on it (1 s), not as asked, and says so.
    c.send("<enableBLOB device='QTX'>Also</enableBLOB>\n");
    c.set("Number", "CCD_EXPOSURE", "CCD_EXPOSURE_VALUE", "2.5");
    const auto blob = c.awaitVector("setBLOBVector", "CCD1");
    ASSERT_TRUE(blob);
    const Decoded fits = decodeFits(blob->values.at("CCD1"));
    // The same QTX, the same keys: the same exposure.
    EXPECT_TRUE(fits.pixels == screenAfter({sim::key::kSetup, sim::key::kImage}));
    EXPECT_DOUBLE_EQ(fits.exptime, 1.0);
    EXPECT_TRUE(c.awaitVector("setNumberVector", "CCD_EXPOSURE", "Ok"));
    EXPECT_TRUE(std::any_of(c.seen().begin(), c.seen().end(), [](const IndiMessage& m) {
        return m.message.find("not the 2.500 s") != std::string::npos;
    }));

    // A client that leaves in the middle of a download: the download goes on, and the next
    // client gets the image.
    IndiClient next(o.port);
    next.send("<getProperties version='1.7'/>\n<enableBLOB device='QTX'>Also</enableBLOB>\n");
    ASSERT_TRUE(next.awaitVector("defSwitchVector", "QTX_DOWNLOAD"));
    c.set("Switch", "QTX_DOWNLOAD", "SCREEN");
    c.close();
    const auto again = next.awaitVector("setBLOBVector", "CCD1");
    ASSERT_TRUE(again);
    EXPECT_EQ(decodeFits(again->values.at("CCD1")).pixels, fits.pixels);
    EXPECT_TRUE(next.awaitVector("setSwitchVector", "QTX_DOWNLOAD", "Ok"));

    // DISCONNECT: the QTX leaves remote operation (CMD_REMOTE with 0), the port closes.
    next.set("Switch", "CONNECTION", "DISCONNECT");
    ASSERT_TRUE(next.awaitVector("setSwitchVector", "CONNECTION", "Idle"));
    const std::string log = o.simLog();
    EXPECT_NE(log.rfind("<- CMD_REMOTE         a5 09 02 00 b0 00 00 00 00 00"), std::string::npos)
        << log.substr(log.size() > 2000 ? log.size() - 2000 : 0);
    EXPECT_EQ(count(log, "<- CMD_KEY"), 2U);  // Setup and Image; the refused key never went
}

TEST(IndiDriver, AdapterPulledOutMidImageThenConnectedAgain) {
    Observatory o("115200");  // the real pace: the image takes seconds
    ASSERT_TRUE(o.ready);
    IndiClient& c = *o.client;
    ASSERT_TRUE(o.connect());
    c.set("Number", "CCD_EXPOSURE", "CCD_EXPOSURE_VALUE", "1");
    // Rows are arriving once the countdown runs below a full image's time.
    ASSERT_TRUE(c.await([](const IndiMessage& m) {
        return m.tag == "setNumberVector" && m.name == "CCD_EXPOSURE" && m.state == "Busy" &&
               std::stod(m.values.at("CCD_EXPOSURE_VALUE")) < 9.0;
    }));
    o.sim.reset();  // the pseudo-terminal goes away with it
    EXPECT_TRUE(c.awaitVector("setNumberVector", "CCD_EXPOSURE", "Alert"));
    const auto status = c.awaitVector("setTextVector", "QTX_STATUS", "Alert");
    ASSERT_TRUE(status);
    EXPECT_EQ(status->values.at("PC_MESSAGE"),
              "COM1 (" + o.device + ") was disconnected; connect again when it is back.");
    EXPECT_TRUE(c.awaitVector("setSwitchVector", "CONNECTION", "Alert"));

    o.startSim("2000000");
    ASSERT_TRUE(o.connect());
    EXPECT_TRUE(awaitText(c, "QTX_DISPLAY", "LINE_1", "QTX  READY      REMOTE"));
}

// The QTX at a remote telescope, behind ser2net, named rfc2217:// in DEVICE_PORT: refused with
// the reason while ser2net is not there, then an exposure as through a cable, and the server's
// going away taken as a pulled-out adapter.
TEST(IndiDriver, ThroughSer2netRefusedExposedAndLost) {
    Observatory o("2000000");
    ASSERT_TRUE(o.ready);
    IndiClient& c = *o.client;
    const std::string pty = o.device;
    Ser2net ser2net(QString::fromStdString(pty));  // at 115200 baud of its own
    o.device = ser2net.rfc2217().toStdString();
    c.set("Switch", "DEVICE_BAUD_RATE", "57600");

    c.set("Text", "DEVICE_PORT", "PORT", o.device);
    c.set("Switch", "CONNECTION", "CONNECT");
    const auto refused = c.awaitVector("setTextVector", "QTX_STATUS", "Alert", 5000);
    ASSERT_TRUE(refused);
    EXPECT_TRUE(c.awaitVector("setSwitchVector", "CONNECTION", "Alert"));
    EXPECT_NE(refused->values.at("PC_MESSAGE").find(o.device + ": connection refused"),
              std::string::npos)
        << refused->values.at("PC_MESSAGE");

    ASSERT_TRUE(ser2net.start()) << "ser2net (scripts/setup.sh installs it)";
    ASSERT_TRUE(o.connect());
    // The QTX answered through ser2net, which had set the speed asked for on the line before.
    ASSERT_TRUE(awaitText(c, "QTX_DISPLAY", "LINE_1", "QTX  READY      REMOTE"));
    EXPECT_EQ(lineSpeed(pty), B57600);
    c.send("<enableBLOB device='QTX'>Also</enableBLOB>\n");
    c.set("Number", "CCD_EXPOSURE", "CCD_EXPOSURE_VALUE", "1");
    const auto blob = c.awaitVector("setBLOBVector", "CCD1");
    ASSERT_TRUE(blob);
    EXPECT_TRUE(decodeFits(blob->values.at("CCD1")).pixels == screenAfter({sim::key::kImage}));

    ser2net.stop();
    const auto lost = c.awaitVector("setTextVector", "QTX_STATUS", "Alert");
    ASSERT_TRUE(lost);
    EXPECT_EQ(lost->values.at("PC_MESSAGE"),
              "COM1 (" + o.device + ") was disconnected; connect again when it is back.");
    ASSERT_TRUE(ser2net.start());
    EXPECT_TRUE(o.connect());
}

// A QTX that never answers: every wait ends, in the Alert state.
TEST(IndiDriver, SilentQtxEndsInAlertsNotAHang) {
    Observatory o("2000000", "--silent");
    ASSERT_TRUE(o.ready);
    IndiClient& c = *o.client;
    ASSERT_TRUE(o.connect());  // the port opens; nobody answers on it
    const auto unanswered = c.awaitVector("setTextVector", "QTX_STATUS", "Alert");
    ASSERT_TRUE(unanswered);
    EXPECT_NE(unanswered->message.find("No answer from the QTX"), std::string::npos)
        << unanswered->message;
    c.set("Number", "CCD_EXPOSURE", "CCD_EXPOSURE_VALUE", "1");
    EXPECT_TRUE(c.awaitVector("setNumberVector", "CCD_EXPOSURE", "Alert"));
    c.set("Switch", "QTX_DOWNLOAD", "SCREEN");
    EXPECT_TRUE(awaitText(c, "QTX_STATUS", "PC_MESSAGE", "Communication Failed"));
    EXPECT_TRUE(c.awaitVector("setSwitchVector", "QTX_DOWNLOAD", "Alert"));
}

TEST(IndiDriver, NamesOfFilesOnTheDriversMachine) {
    EXPECT_EQ(indi::localImagePath("/data/night", "IMAGE_XXX", 7), "/data/night/IMAGE_007.fits");
    EXPECT_EQ(indi::localImagePath("/data/night/", "m31", 12), "/data/night/m31_012.fits");
    EXPECT_EQ(indi::localImagePath("/", "XXX_dark", 1000), "/1000_dark.fits");
    // 2024-03-07 21:05:07 UTC.
    EXPECT_EQ(indi::downloadAllBase("/data/night/", 1709845507),
              "/data/night/QTX_20240307T210507_");
    // The console cuts a base name at its first dot: such a folder is refused.
    EXPECT_EQ(indi::downloadAllBase("/home/j.doe", 1709845507), std::nullopt);
    EXPECT_EQ(indi::downloadAllBase("", 1709845507), std::nullopt);
}

}  // namespace
}  // namespace qtx::test
