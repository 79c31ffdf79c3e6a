// What became of the images of a download, read from the frames the console sends: each
// image starts with its header request, and every attempt to save it ends in reports of
// CMD_SAVED (0 written, 1 not written) - one from the image file, and one more from a track
// list or mosaic data file when the image has one.
#pragma once

#include <cstdint>
#include <span>
#include <vector>

namespace qtx::cli {

class SaveTally {
  public:
    // Every frame the console writes, whole, in order.
    void sent(std::span<const std::uint8_t> frame);

    // Images whose every file was written; they need at least one report saying so.
    int written() const;
    // Images with a file that was not written.
    int refused() const;
    // The console has ended the exchange (CMD_DOWNLOAD_END).
    bool ended() const { return endSeen; }
    // True when exactly `expected` images (at least one) came, and every file of each was
    // written.
    bool allWritten(int expected) const;

  private:
    struct Image {
        int saved = 0;
        int notSaved = 0;
    };
    Image& current();

    std::vector<Image> images;
    bool rowsAsked = false;  // rows were asked for since the last header request
    bool endSeen = false;
};

}  // namespace qtx::cli
