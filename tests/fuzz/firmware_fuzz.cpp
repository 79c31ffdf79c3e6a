// Arbitrary code files through the upload command. A file is either refused with one
// message box and nothing sent, or taken whole: then the pages and the end frame, turned
// back into file bytes, are the file, and only a good image is ever taken.
//
// Byte 0 shapes the file, the rest is its content, repeated to fill it:
//   bits 0-1  length: the content itself, 98303, 98304 or 98305 bytes
//   bit 2     store the CRC the code has (else whatever the content holds there)
//   bit 3     name it ".BIN" instead of ".bin"
//   bits 4-7  every so many acknowledgements a watchdog tick first (0: none)
#include <unistd.h>

#include <cstdlib>
#include <filesystem>

#include "fuzz_support.hpp"

namespace {

using Bytes = std::vector<std::uint8_t>;

// The file as the frames carried it: pages with their words turned back, then the CRC
// from the end frame.
Bytes reassemble(const std::vector<Bytes>& written) {
    Bytes image;
    for (const Bytes& frame : written) {
        if (frame.size() == 522 && frame[1] == qtx::CMD_CODE_PAGE) {
            const std::size_t page = frame[6] - 64U;
            image.resize(std::max(image.size(), (page + 1) * 512));
            for (std::size_t k = 0; k < 512; k += 2) {
                image[page * 512 + k] = frame[9 + k];
                image[page * 512 + k + 1] = frame[8 + k];
            }
        } else if (frame.size() == 12 && frame[1] == qtx::CMD_CODE_END) {
            if (image.size() != qtx::kCodeBytes || image[qtx::kCodeBytes - 1] != frame[8] ||
                image[qtx::kCodeBytes - 2] != frame[9]) {
                std::abort();
            }
        }
    }
    return image;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    if (size < 1) return 0;
    const std::uint8_t mode = data[0];
    const std::size_t lengths[] = {size - 1, qtx::kCodeBytes - 1, qtx::kCodeBytes,
                                   qtx::kCodeBytes + 1};
    Bytes file(lengths[mode & 3]);
    for (std::size_t i = 0; i < file.size(); ++i) file[i] = size > 1 ? data[1 + i % (size - 1)] : 0;
    if ((mode & 4) != 0 && file.size() == qtx::kCodeBytes) qtx::test::storeCodeCrc(file);
    const bool upper = (mode & 8) != 0;
    const auto path = std::filesystem::temp_directory_path() /
                      ("firmware_fuzz_" + std::to_string(::getpid()) + (upper ? ".BIN" : ".bin"));
    qtx::test::writeFile(path.string(), file);

    qtx::test::FakeHost host;
    qtx::Console console(host);
    console.Form_Load();
    host.written.clear();
    host.fileAnswers.push_back(path.string());
    console.mnuUploadFile_Click();
    std::filesystem::remove(path);

    const bool good = !upper && file.size() == qtx::kCodeBytes &&
                      qtx::crc16(std::span(file).first(qtx::kCodeChecked)) ==
                          ((file[qtx::kCodeBytes - 2] << 8) | file[qtx::kCodeBytes - 1]);
    if (!good) {
        if (host.messageBoxes.size() != 1 || !host.written.empty() ||
            console.link.pendingop != qtx::PendingOp::Key) {
            std::abort();
        }
        return 0;
    }
    if (!host.messageBoxes.empty() || host.written.size() != 1) std::abort();
    // A tick makes the console send the frame again, and the QTX answers both copies: each
    // tick can cost one acknowledgement more than the 194 frames.
    const int tickEvery = mode >> 4;
    for (int n = 1; n <= 2 * 194 && console.link.pendingop != qtx::PendingOp::Key; ++n) {
        if (tickEvery != 0 && n % tickEvery == 0) console.watchdogTick();
        host.incoming = {0xA5, 0x06, 0x00, 0x00, 0xAB, 0x00};  // acknowledged
        console.onSerialEvent(qtx::SerialEvent::DataReceived);
    }
    if (console.link.pendingop != qtx::PendingOp::Key ||
        host.text(qtx::TextBox::PCtext) != "Code succesfully uploaded - QTX restarting" ||
        reassemble(host.written) != file) {
        std::abort();
    }
    return 0;
}
