// libindi's serial connection as the QTX needs it: DEVICE_PORT names the device behind COM1,
// DEVICE_BAUD_RATE offers only the QTX's four speeds. The port itself is opened by the
// console's Establish Link in the handshake, so that the line carries the console's own
// settings ("115200,N,8,2") and the console knows it is open.
//
// A serial port at a remote telescope is named in the same DEVICE_PORT, as
// rfc2217://HOST:PORT or tcp://HOST:PORT, the names the window's --com1 and qtx's --port take.
// libindi's TCP connection was the other way: a second connection mode with its own host and
// port fields, but with no place for RFC 2217 against raw TCP, while the speed would stay on
// the serial one (RFC 2217 carries it). One field that takes what the other programs take is
// less to learn and keeps a saved configuration one text.
#pragma once

#include <libindi/connectionplugins/connectionserial.h>

namespace qtx::indi {

class QtxSerial : public Connection::Serial {
  public:
    explicit QtxSerial(INDI::DefaultDevice* device);

    void Activated() override;
    // A speed the QTX lacks (or none at all) for DEVICE_BAUD_RATE is refused with a message
    // before anything else sees it: true when the request was refused.
    bool refusesSpeed(const char* name, ISState* states, char* names[], int n);
    bool saveConfigItems(FILE* fp) override;

  protected:
    // Nothing to open here: the handshake runs Establish Link.
    bool Connect(const char*, uint32_t) override { return true; }
};

}  // namespace qtx::indi
