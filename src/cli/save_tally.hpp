// What became of the images of a download, read from the frames the console sends. An
// image is a header request answered by rows (a buffer whose header announces no image gets
// none); every attempt to save it ends in CMD_SAVED reports (0 written, 1 not written): one
// from the image file, and one more from a track list or mosaic data file beside it.
#pragma once

#include <cstdint>
#include <span>
#include <vector>

namespace qtx::cli {

class SaveTally {
  public:
    // Every frame the console writes, whole, in order.
    void sent(std::span<const std::uint8_t> frame);

    int images() const { return static_cast<int>(taken.size()); }
    // Images whose every file was written; they need at least one report saying so.
    int written() const;
    // The console has ended the exchange (CMD_DOWNLOAD_END).
    bool ended() const { return endSeen; }
    // The exchange ended, at least one image came, and every file of each was written.
    bool allWritten() const;

  private:
    struct Image {
        int saved = 0;
        int notSaved = 0;
    };
    Image& current();

    std::vector<Image> taken;
    bool headerAsked = false;  // a header was asked for since the last row request
    bool endSeen = false;
};

}  // namespace qtx::cli
