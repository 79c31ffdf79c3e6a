// The INDI driver's overhead on an image: the simulated QTX served in-process on a
// pseudo-terminal at the real line speed, indi_qtx under indiserver, a client over the INDI
// protocol; then `qtx download` of the same screen image on the same line.
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

    TempDir dir;
    const int port = freeLoopbackPort();
    std::vector<double> latency, viaDriver, viaQtx;
    {
        Child server({INDISERVER_PROGRAM, "-p", std::to_string(port), INDI_QTX_PROGRAM},
                     {"HOME=" + dir.path("")});
        IndiClient client(port);
        client.send("<getProperties version='1.7'/>\n<enableBLOB device='QTX'>Also</enableBLOB>\n");
        if (!client.awaitVector("defSwitchVector", "DEVICE_BAUD_RATE")) {
            std::fprintf(stderr, "bench_indi: the driver did not come up\n");
            return 1;
        }
        client.set("Text", "DEVICE_PORT", "PORT", qtxSim.slavePath());
        client.set("Switch", "CONNECTION", "CONNECT");
        client.awaitVector("setSwitchVector", "CONNECTION", "Ok");
        // An exposure puts the image into buffer 31; its transfer warms everything up.
        client.set("Number", "CCD_EXPOSURE", "CCD_EXPOSURE_VALUE", "1");
        client.awaitVector("setBLOBVector", "CCD1", "", 60000);
        for (int r = 0; r < rounds; ++r) {
            watch.clear();
            client.set("Switch", "QTX_DOWNLOAD", "SCREEN");
            const auto blob = client.awaitVector("setBLOBVector", "CCD1", "", 60000);
            if (!blob) {
                std::fprintf(stderr, "bench_indi: no image through the driver\n");
                return 1;
            }
            latency.push_back(ms(blob->at - watch.lastRowOnWire()));
            viaDriver.push_back(ms(blob->at - watch.firstIn(CMD_HEADER_REQ)));
            client.awaitVector("setSwitchVector", "QTX_DOWNLOAD", "Ok");
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

    std::printf("screen image at %u baud, %d rounds, medians:\n", kBaud, rounds);
    std::printf("  last row on the wire -> CCD1 BLOB at the client   %8.1f ms\n", median(latency));
    std::printf("  download through the driver (to the client)       %8.1f ms\n",
                median(viaDriver));
    std::printf("  qtx download (to the end of the exchange)         %8.1f ms\n", median(viaQtx));
    std::printf("  ratio driver / qtx                                %8.3f\n",
                median(viaDriver) / median(viaQtx));
    return 0;
}
