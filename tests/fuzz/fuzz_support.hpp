// What the fuzz targets share: a host that traps on a picture drawn outside the surface and
// on progress past its total, a console on it, the receiver's invariants, code images, files.
#pragma once

#include <algorithm>
#include <string>

#include "console.hpp"
#include "fake_host.hpp"
#include "link/frame.hpp"
#include "temp_dir.hpp"
#include "upload/code_image.hpp"
#include "upload/crc16.hpp"

namespace qtx::test {

using Bytes = std::vector<std::uint8_t>;

struct TrapHost : FakeHost {
    void setBitmapBits(std::span<const std::uint8_t> bits) override {
        const auto g = surfaceGeometry();
        if (bits.size() != static_cast<std::size_t>(g.bytesPerLine) * g.scanLines) __builtin_trap();
        FakeHost::setBitmapBits(bits);
    }
    void setPixel(int x, int y, Colour c) override {
        if (x < 0 || y < 0 || x >= 320 || y >= 200) __builtin_trap();
        FakeHost::setPixel(x, y, c);
    }
    void showProgress(const Progress& p) override {
        if (p.done < 0 || p.done > p.total) __builtin_trap();
        FakeHost::showProgress(p);
    }
};

// A whole code image with its CRC stored where the QTX looks for it.
inline Bytes withCodeCrc(Bytes image) {
    const std::uint16_t crc = crc16(std::span(image).first(kCodeChecked));
    image[kCodeBytes - 2] = static_cast<std::uint8_t>(crc >> 8);
    image[kCodeBytes - 1] = static_cast<std::uint8_t>(crc & 0xFF);
    return image;
}

// A file in a folder of the fuzzer's own, removed when it exits; its path.
inline std::string tempFile(const std::string& name, const Bytes& bytes) {
    static const TempDir dir;
    TempDir::write(dir.path(name), std::string(bytes.begin(), bytes.end()));
    return dir.path(name);
}

// A started console whose automatic saves (when chosen) fail fast, in a folder that does not
// exist.
struct FuzzConsole {
    static constexpr const char* kNowhere = "/nonexistent-folder-of-the-fuzzer/img";
    TrapHost host;
    Console console{host};
    explicit FuzzConsole(bool autosave) {
        console.Form_Load();
        if (autosave) host.fileAnswers.push_back(kNowhere), console.mnuautosave_Click();
    }
    void arrive(std::span<const std::uint8_t> bytes) {
        host.incoming.assign(bytes.begin(), bytes.end());
        console.onSerialEvent(SerialEvent::DataReceived);
    }
    // Download All, its files to the folder that does not exist.
    void downloadAll() {
        host.fileAnswers.push_back(kNowhere);
        console.mnuflashdownload_Click();
    }
    // An upload of a code image the QTX would take, its first `acked` frames acknowledged.
    void beginUpload(int acked) {
        static const std::string code = tempFile("code.bin", withCodeCrc(Bytes(kCodeBytes, 0x5A)));
        host.fileAnswers.push_back(code);
        console.mnuUploadFile_Click();
        for (int i = 0; i < acked; ++i) arrive(buildFrame(MSG_ACK, {}));
    }
    // After every step: the receiver holds nothing or a frame start within its buffer, the
    // pixel array is as large as it says; what the host was told is not kept.
    void check() {
        const LinkState& link = console.linkState();
        if (link.rxcount < 0 || link.rxcount > static_cast<int>(kRxBufferSize)) __builtin_trap();
        if (link.rxcount > 0 && link.rxbuffer[0] != kSync) __builtin_trap();
        const PixelArray& a = console.image().imagedata;
        const std::size_t w = std::max<int>(a.width, 0), h = std::max<int>(a.height, 0);
        if (a.cells.size() != w * h) __builtin_trap();
        host.written.clear(), host.texts.clear(), host.timerEvents.clear(), host.progress.clear();
    }
};

}  // namespace qtx::test
