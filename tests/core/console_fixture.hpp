// A console on a FakeHost, loaded with the port open and the start-up writes cleared.
#pragma once

#include <gtest/gtest.h>

#include <functional>
#include <vector>

#include "console.hpp"
#include "fake_host.hpp"
#include "temp_dir.hpp"
#include "test_frames.hpp"

namespace qtx::test {

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
        const auto word = [](int n) { return static_cast<std::uint16_t>(n); };
        receive(headerFrame({.flags = 6, .height = word(h), .width = word(w), .firstrow = 0}));
        for (int y = 1; y <= h; ++y) {
            std::vector<std::uint16_t> row;
            for (int x = 1; x <= w; ++x) row.push_back(word(value(x, y)));
            receive(rawRow(row));
        }
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
