// Receiving new program code. The console sends a begin frame, 192 pages and an end frame:
//
//   CMD_CODE_BEGIN  20 00
//   CMD_CODE_PAGE   p+64  00  then the page's 256 words with their two bytes exchanged
//   CMD_CODE_END    20 00  crc-lo crc-hi
//
// The code image is 98304 bytes; the CRC (console/crc16.hpp) covers its first 98300. The
// sizes are those of the console's code image (console/code_image.hpp).
#pragma once

#include <cstdint>
#include <span>
#include <string>
#include <vector>

#include "upload/code_image.hpp"

namespace qtx::sim {

class CodeLoader {
  public:
    enum class Verdict {
        Accepted,  // acknowledge
        Repeat,    // the page just taken, sent again (its acknowledgement was lost)
        Refused,   // not acknowledged; see message()
        Loaded,    // end frame: all pages in and the CRC matches
        Failed,    // end frame: pages missing or the CRC does not match
    };

    Verdict begin(std::span<const std::uint8_t> payload);
    Verdict page(std::span<const std::uint8_t> payload);
    Verdict end(std::span<const std::uint8_t> payload);

    bool active() const { return receiving; }
    std::size_t pagesTaken() const { return nextPage; }
    // What the display shows about the last step, two lines of text.
    const std::string& message() const { return text; }
    const std::string& detail() const { return text2; }
    // The code now running and its CRC; empty until a load succeeds.
    const std::vector<std::uint8_t>& code() const { return running; }
    std::uint16_t runningCrc() const { return crc; }

  private:
    Verdict refuse(std::string what, std::string more);

    bool receiving = false;
    std::size_t nextPage = 0;
    std::vector<std::uint8_t> image;
    std::vector<std::uint8_t> running;
    std::uint16_t crc = 0;
    std::string text, text2;
};

}  // namespace qtx::sim
