// The link: the port, the receive buffer and its framing, the watchdog, and every frame the
// console writes to the QTX.
#pragma once

#include <cstdint>
#include <span>
#include <string>
#include <vector>

#include "link/state.hpp"
#include "part.hpp"

namespace qtx {

class Link : Part {
  public:
    Link(Console& console, Host& host) : Part(console, host) {}

    // Opening and closing (linksetup.cpp).
    void reset() { state = LinkState{}; }
    void startLink();
    void establishLink(int portNumber);
    void setBaud(std::int32_t speed);
    void closeLink();
    void portLost(int portNumber, const std::string& device, const std::string& whenBack);

    // Receiving (receiver.cpp).
    void onSerialEvent(SerialEvent kind);

    // The watchdog `entrytimer` (watchdog.cpp).
    void watchdogTick();
    void watchdogRestart(int intervalMs);

    // Frames to the QTX (requests.cpp). Those that check the port refuse a closed one with a
    // message box; the others write nothing to it.
    void send(std::span<const std::uint8_t> frame, bool checksPort);
    void sendkey(std::int32_t keycode);
    void sendcommand(std::int16_t code);
    void sendremotemode(std::int16_t flag);
    void sendsavereport(std::int16_t flag);
    void sendlinkconfirm();

    // The frame at the front of the receive buffer, for the part that handles it: its bytes
    // as far as they are held, its payload, its length on the line.
    std::span<const std::uint8_t> front() const;
    std::span<const std::uint8_t> frontPayload() const { return state.frontPayload(); }
    int frontFrameBytes() const;
    void removeFront(int count);
    // The frame at the front was dealt with: whatever follows it is read now.
    void frameTaken() { state.headerok = false; }
    // Frames behind this one wait for the next receive event.
    void stopPass() { stopReceiving = true; }
    // Everything received so far and waiting in the port is dropped.
    void dropReceived();

    // What the next acknowledgement answers.
    PendingOp pendingOp() const { return state.pendingop; }
    void expect(PendingOp op) { state.pendingop = op; }
    // Watchdog ticks since the last good reply; a reply resets them.
    std::int16_t retries() const { return state.retrycount; }
    void replied() { state.retrycount = 0; }
    std::int16_t longInterval() const { return state.longinterval; }
    std::int16_t shortInterval() const { return state.shortinterval; }
    std::int16_t baudIndex() const { return state.baudindex; }
    bool portOpen() const { return state.portopen; }

    const LinkState& view() const { return state; }

  private:
    void processFrames();
    void processPass();
    void resynchronise();
    void dispatchFrame();
    void onAck();

    LinkState state;
    bool stopReceiving = false;  // set by a step that ends the whole receive event
};

}  // namespace qtx
