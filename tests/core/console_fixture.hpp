// A console on a FakeHost, loaded with the port open and the start-up writes cleared.
#pragma once

#include <gtest/gtest.h>

#include <vector>

#include "console.hpp"
#include "fake_host.hpp"
#include "temp_dir.hpp"

namespace qtx::test {

using Bytes = std::vector<std::uint8_t>;

class ConsoleTest : public ::testing::Test {
protected:
    void SetUp() override {
        console.Form_Load();
        // Whatever a test saves lands in its own folder.
        console.files.autofilename = tmp.path("img");
        host.written.clear();
        host.texts.clear();
        host.timerEvents.clear();
    }

    // Bytes arrive at the port and the receive event runs.
    void receive(const Bytes& bytes) {
        host.incoming.insert(host.incoming.end(), bytes.begin(), bytes.end());
        console.onSerialEvent(SerialEvent::DataReceived);
    }
    void receiveBytewise(const Bytes& bytes) {
        for (std::uint8_t b : bytes) receive(Bytes{b});
    }

    TempDir tmp;
    FakeHost host;
    Console console{host};
};

}  // namespace qtx::test
