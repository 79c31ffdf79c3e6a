// Arbitrary code files through the upload command. A file is either refused with one
// message box and nothing sent, or taken whole: then the pages and the end frame, turned
// back into file bytes, are the file, and only a good image is ever taken.
// Byte 0 shapes the file, the rest is its content, repeated to fill it:
//   bits 0-1  length: the content itself, 98303, 98304 or 98305 bytes
//   bit 2     store the CRC the code has (else whatever the content holds there)
//   bit 3     name it ".BIN" instead of ".bin"
//   bits 4-7  every so many acknowledgements a watchdog tick first (0: none)

#include "fuzz_support.hpp"

namespace {

using qtx::test::Bytes;

// The file as the frames carried it: pages with their words turned back, and the end frame
// repeating the CRC the last page ends with.
Bytes reassemble(const std::vector<Bytes>& written) {
    Bytes image;
    for (const Bytes& frame : written) {
        if (frame.size() == 522 && frame[1] == qtx::CMD_CODE_PAGE) {
            const std::size_t page = frame[6] - 64U;
            image.resize(std::max(image.size(), (page + 1) * 512));
            for (std::size_t k = 0; k < 512; ++k) image[page * 512 + k] = frame[8 + (k ^ 1)];
        } else if (frame.size() == 12 && frame[1] == qtx::CMD_CODE_END) {
            if (image.size() != qtx::kCodeBytes || image[qtx::kCodeBytes - 1] != frame[8] ||
                image[qtx::kCodeBytes - 2] != frame[9])
                __builtin_trap();
        }
    }
    return image;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    if (size < 1) return 0;
    const std::uint8_t mode = data[0];
    Bytes file((mode & 3) == 0 ? size - 1 : qtx::kCodeBytes - 2 + (mode & 3));
    for (std::size_t i = 0; i < file.size(); ++i) file[i] = size > 1 ? data[1 + i % (size - 1)] : 0;
    if ((mode & 4) != 0 && file.size() == qtx::kCodeBytes) file = qtx::test::withCodeCrc(file);
    const bool upper = (mode & 8) != 0;

    qtx::test::FuzzConsole f(false);
    f.host.written.clear();
    f.host.fileAnswers.push_back(qtx::test::tempFile(upper ? "code.BIN" : "code.bin", file));
    f.console.mnuUploadFile_Click();
    const bool good =
        !upper && file.size() == qtx::kCodeBytes && qtx::test::withCodeCrc(file) == file;
    if (f.host.messageBoxes.size() != (good ? 0U : 1U) || f.host.written.size() != (good ? 1U : 0U))
        __builtin_trap();
    // A tick makes the console send the frame again, and the QTX answers both copies: each
    // tick can cost one acknowledgement more than the 194 frames.
    const auto done = [&] {
        return f.host.text(qtx::TextBox::PCtext) == "Code succesfully uploaded - QTX restarting";
    };
    for (int n = 1; good && n <= 2 * 194 && !done(); ++n) {
        if ((mode >> 4) != 0 && n % (mode >> 4) == 0) f.console.watchdogTick();
        f.arrive(qtx::buildFrame(qtx::MSG_ACK, {}));
    }
    if (good && (!done() || reassemble(f.host.written) != file)) __builtin_trap();
    return 0;
}
