// The INDI driver's overhead on an image: the simulated QTX served in-process on a
// pseudo-terminal at the real line speed, indi_qtx under indiserver, a client over the INDI
// protocol; then `qtx download` of the same screen image on the same line. The driver also
// reaches the same pseudo-terminal through ser2net on the loopback (as the README sets it up),
// by RFC 2217 and raw TCP, taking turns with the direct way round by round.
//
//   latency   last row on the wire -> the CCD1 BLOB complete at the client
//   download  header request seen by the QTX -> the BLOB at the client (driver), or -> the
//             end of the exchange (CMD_DOWNLOAD_END) after the file is saved (qtx)
//
// The QTX's clock and the client's are one (steady_clock in this process); the last row leaves
// the cable its length in bits after the model makes it, the line being idle in between.
//   bench_indi [rounds]   (default 5)
#include <algorithm>
#include <cstdio>
#include <mutex>
#include <string>
#include <vector>

#include "indi_client.hpp"
#include "link/frame.hpp"
#include "processes.hpp"
#include "pty/pty_server.hpp"
#include "ser2net.hpp"
#include "temp_dir.hpp"

using namespace qtx;
using namespace qtx::test;

namespace {

constexpr std::uint32_t kBaud = 115200;
constexpr double kBitsPerByte = 11;

struct Seen {
    Clock::time_point at;
    sim::Direction direction;
    std::uint8_t code;
    std::size_t bytes;
};

class Watch {
  public:
    void add(sim::Direction d, std::span<const std::uint8_t> frame) {
        if (frame.size() < kHeaderSize) return;
        std::lock_guard<std::mutex> hold(lock);
        seen.push_back({Clock::now(), d, frame[1], frame.size()});
    }
    void clear() {
        std::lock_guard<std::mutex> hold(lock);
        seen.clear();
    }
    // The first request `code` from the console, and the wire end of the last row.
    Clock::time_point firstIn(std::uint8_t code) {
        std::lock_guard<std::mutex> hold(lock);
        for (const Seen& s : seen) {
            if (s.direction == sim::Direction::In && s.code == code) return s.at;
        }
        return {};
    }
    Clock::time_point lastRowOnWire() {
        std::lock_guard<std::mutex> hold(lock);
        Clock::time_point end{};
        for (const Seen& s : seen) {
            if (s.direction == sim::Direction::Out &&
                (s.code == MSG_ROW || s.code == MSG_ROW_RAW)) {
                end = s.at + std::chrono::microseconds(
                                 static_cast<long>(s.bytes * kBitsPerByte * 1e6 / kBaud));
            }
        }
        return end;
    }

  private:
    std::mutex lock;
    std::vector<Seen> seen;
};

double ms(Clock::duration d) { return std::chrono::duration<double, std::milli>(d).count(); }

double median(std::vector<double> v) {
    std::sort(v.begin(), v.end());
    return v.empty() ? 0 : v[v.size() / 2];
}

}  // namespace

int main(int argc, char** argv) {
    const int rounds = argc > 1 ? std::max(1, std::atoi(argv[1])) : 5;
    sim::ServerOptions options;
    options.baud = kBaud;
    sim::PtyServer qtxSim(sim::ModelOptions{}, options);
    if (!qtxSim.start()) {
        std::fprintf(stderr, "bench_indi: %s\n", qtxSim.error().c_str());
        return 1;
    }
    Watch watch;
    qtxSim.withModel([&](sim::QtxModel& m) {
        m.setWatcher([&](sim::Direction d, std::span<const std::uint8_t> f, const std::string&) {
            watch.add(d, f);
        });
    });

    // Without ser2net (scripts/setup.sh installs it), the direct way alone.
    Ser2net ser2net(QString::fromStdString(qtxSim.slavePath()));
    struct Way {
        const char* label;
        std::string port;
        std::vector<double> ms;
    };
    std::vector<Way> ways{{"pty", qtxSim.slavePath(), {}}};
    if (ser2net.start()) {
        ways.push_back({"ser2net, RFC 2217", ser2net.rfc2217().toStdString(), {}});
        ways.push_back({"ser2net, raw TCP", ser2net.raw().toStdString(), {}});
    }

    TempDir dir;
    const int port = freeLoopbackPort();
    std::vector<double> latency, viaQtx;
    {
        Child server({INDISERVER_PROGRAM, "-p", std::to_string(port), INDI_QTX_PROGRAM},
                     {"HOME=" + dir.path("")});
        IndiClient client(port);
        client.send("<getProperties version='1.7'/>\n<enableBLOB device='QTX'>Also</enableBLOB>\n");
        if (!client.awaitVector("defSwitchVector", "DEVICE_BAUD_RATE")) {
            std::fprintf(stderr, "bench_indi: the driver did not come up\n");
            return 1;
        }
        // CONNECT on `device`, once the QTX answered there. ser2net lets go of the device a
        // moment after a connection ends, and meanwhile closes a new one at once: another try.
        const auto connectTo = [&](const std::string& device) {
            for (int attempt = 0; attempt < 5; ++attempt) {
                client.set("Switch", "CONNECTION", "DISCONNECT");
                client.awaitVector("setSwitchVector", "CONNECTION", "Idle", 2000);
                client.set("Text", "DEVICE_PORT", "PORT", device);
                client.set("Switch", "CONNECTION", "CONNECT");
                if (client.awaitVector("setSwitchVector", "CONNECTION", "Ok", 6000) &&
                    client.awaitVector("setTextVector", "QTX_STATUS", "Ok", 3000)) {
                    return true;
                }
                ::usleep(300000);
            }
            return false;
        };
        // An exposure puts the image into buffer 31; its transfer warms everything up.
        connectTo(qtxSim.slavePath());
        client.set("Number", "CCD_EXPOSURE", "CCD_EXPOSURE_VALUE", "1");
        client.awaitVector("setBLOBVector", "CCD1", "", 60000);
        for (int r = 0; r < rounds; ++r) {
            for (Way& way : ways) {
                if (!connectTo(way.port)) {
                    std::fprintf(stderr, "bench_indi: no link on %s\n", way.port.c_str());
                    return 1;
                }
                watch.clear();
                client.set("Switch", "QTX_DOWNLOAD", "SCREEN");
                const auto blob = client.awaitVector("setBLOBVector", "CCD1", "", 60000);
                if (!blob) {
                    std::fprintf(stderr, "bench_indi: no image through %s\n", way.port.c_str());
                    return 1;
                }
                if (&way == &ways.front()) latency.push_back(ms(blob->at - watch.lastRowOnWire()));
                way.ms.push_back(ms(blob->at - watch.firstIn(CMD_HEADER_REQ)));
                client.awaitVector("setSwitchVector", "QTX_DOWNLOAD", "Ok");
            }
        }
        client.set("Switch", "CONNECTION", "DISCONNECT");
        client.awaitVector("setSwitchVector", "CONNECTION", "Idle");
    }
    for (int r = 0; r < rounds; ++r) {
        watch.clear();
        Child qtx({QTX_PROGRAM, "download", "--port", qtxSim.slavePath(),
                   dir.path("screen" + std::to_string(r))});
        for (int waited = 0;
             waited < 60000 && watch.firstIn(CMD_DOWNLOAD_END) == Clock::time_point{};
             waited += 10) {
            ::usleep(10000);
        }
        const auto end = watch.firstIn(CMD_DOWNLOAD_END);
        if (end == Clock::time_point{}) {
            std::fprintf(stderr, "bench_indi: qtx download did not finish\n");
            return 1;
        }
        viaQtx.push_back(ms(end - watch.firstIn(CMD_HEADER_REQ)));
    }
    qtxSim.stop();

    const double direct = median(ways.front().ms);
    std::printf("screen image at %u baud, %d rounds, medians:\n", kBaud, rounds);
    std::printf("  last row on the wire -> CCD1 BLOB at the client   %8.1f ms\n", median(latency));
    std::printf("  download through the driver (to the client)       %8.1f ms\n", direct);
    std::printf("  qtx download (to the end of the exchange)         %8.1f ms\n", median(viaQtx));
    std::printf("  ratio driver / qtx                                %8.3f\n",
                direct / median(viaQtx));
    for (std::size_t i = 1; i < ways.size(); ++i) {
        std::printf("  driver through %-18s %8.1f ms, ratio to the pty %6.3f\n", ways[i].label,
                    median(ways[i].ms), median(ways[i].ms) / direct);
    }
    if (ways.size() == 1) std::printf("  (no ser2net: the network ways were left out)\n");
    return 0;
}
