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
        console.files.autofilename = tmp.path("img");  // whatever a test saves lands here
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
    // A w x h image as if just received, pixel (x, y) = value(x, y), with its levels.
    void holdImage(int w, int h, const std::function<int(int, int)>& value,
                   std::int32_t background = 0, std::int32_t range = 256) {
        ImageRecord& r = console.record;
        console.loadedimage.reset();
        r.imagedata.resize(static_cast<std::int16_t>(w), static_cast<std::int16_t>(h));
        for (int k = 0; k < w * h; ++k)
            r.imagedata.at(k % w + 1, k / w + 1) =
                static_cast<std::uint16_t>(value(k % w + 1, k / w + 1));
        r.imagewidth = static_cast<std::int16_t>(w);
        r.imageheight = static_cast<std::int16_t>(h);
        r.background = background;
        r.range = range;
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
