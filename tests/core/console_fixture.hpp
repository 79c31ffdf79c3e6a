// A console on a FakeHost, loaded with the port open and the start-up writes cleared, and
// the exchanges the suites script with it.
#pragma once

#include <gtest/gtest.h>

#include <filesystem>
#include <functional>
#include <initializer_list>
#include <string>
#include <vector>

#include "console.hpp"
#include "fake_host.hpp"
#include "image_frames.hpp"
#include "temp_dir.hpp"
#include "test_frames.hpp"

namespace qtx::test {

// A code image: a pattern that shows the bytes of each word swapped, two unchecked bytes, and
// the CRC as stored (0x81E9 is the code's own).
inline Bytes codeImage(std::uint16_t storedCrc) {
    Bytes bytes(98300, 0);
    for (std::size_t i = 0; i < bytes.size(); ++i)
        bytes[i] = static_cast<std::uint8_t>(i * 7 + 3 + (i >> 9));
    return bytes + Bytes{0xAB, 0xCD, static_cast<std::uint8_t>(storedCrc >> 8),
                         static_cast<std::uint8_t>(storedCrc & 0xFF)};
}

class ConsoleTest : public ::testing::Test {
  protected:
    void SetUp() override {
        console.Form_Load();
        host.written.clear(), host.texts.clear(), host.timerEvents.clear();
    }
    void receive(const Bytes& bytes) {
        host.incoming.insert(host.incoming.end(), bytes.begin(), bytes.end());
        console.onSerialEvent(SerialEvent::DataReceived);
    }
    Bytes answer(const Bytes& bytes) {
        receive(bytes);
        return host.lastWritten();
    }
    // A scripted exchange: in each step the QTX sends `qtx`, and the console must answer
    // with exactly the frames `console` (none when empty).
    struct Step {
        Bytes qtx;
        std::vector<Bytes> console;
    };
    void exchange(std::initializer_list<Step> steps) {
        int n = 0;
        for (const Step& step : steps) {
            const auto before = static_cast<long>(host.written.size());
            receive(step.qtx);
            EXPECT_EQ(std::vector<Bytes>(host.written.begin() + before, host.written.end()),
                      step.console)
                << "step " << n++;
        }
    }
    // The user uploads a good code image; the QTX acknowledges its first `acked` frames.
    void beginUpload(int acked = 0) {
        const std::string file = tmp.path("code.bin");
        if (!std::filesystem::exists(file)) {
            const Bytes code = codeImage(0x81E9);
            TempDir::write(file, std::string(code.begin(), code.end()));
        }
        host.fileAnswers.push_back(file);
        console.mnuUploadFile_Click();
        acks(acked);
    }
    void acks(int count) {
        for (int i = 0; i < count; ++i) receive(kAck);
    }
    // The user asks for the screen image and its header arrives.
    void startImage(const HeaderFields& h = {}) {
        console.mnudownloadlight_Click();
        receive(headerFrame(h));
        host.written.clear();
    }
    // A w x h image received from the QTX (lengths in inches, rows from 0, as row 200 is the
    // track row), pixel (x, y) = value(x, y), then shown with these levels through Adjust
    // Contrast; what the host recorded meanwhile is cleared, as at the start.
    void holdImage(int w, int h, const std::function<int(int, int)>& value,
                   std::int32_t background = 0, std::int32_t range = 256) {
        console.mnudownloadlight_Click();
        ImageHeader header;
        header.height = static_cast<std::uint16_t>(h), header.width = static_cast<std::uint16_t>(w);
        for (const Bytes& frame : imageFrames(header, value)) receive(frame);
        host.contrastAnswers.push_back({std::to_string(background), std::to_string(range)});
        console.mnucontrast_Click();
        host.written.clear(), host.texts.clear(), host.timerEvents.clear(), host.events.clear();
        host.progress.clear(), host.contrastShown.clear(), host.histogramsShown.clear();
        host.repaints = 0;
    }
    std::vector<std::string> pcTexts() const {
        std::vector<std::string> out;
        for (const TextEvent& t : host.texts)
            if (t.box == TextBox::PCtext) out.push_back(t.text);
        return out;
    }

    TempDir tmp;
    FakeHost host;
    Console console{host};
};

}  // namespace qtx::test
