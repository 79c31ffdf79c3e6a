// The current image: its record and facts, its track offsets, the flat frame, the picture
// painted from them, contrast, the pixel probe, the information panel, the Edit Data menu
// and the exports of the picture.
#pragma once

#include <array>
#include <cstdint>
#include <optional>
#include <span>
#include <utility>

#include "files/state.hpp"
#include "image/optics.hpp"
#include "image/state.hpp"
#include "part.hpp"

namespace qtx {

class ImageView : Part {
  public:
    ImageView(Console& console, Host& host) : Part(console, host) {}

    void reset();
    void showimage();
    void mnucontrast_Click();
    void mnuautocontrast_Click();
    void Picdata_MouseMove(double x, double y);
    void mnubitmap_Click();
    void mnufits_Click();
    void exportPng();
    void mnuflatfield_Click();
    // Edit Data (optics.cpp).
    void mnunote_Click();
    void mnufocallength_Click();
    void mnuaperturedia_Click();
    void mnuinches_Click();
    void mnucentimeters_Click();

    // An image arriving from the QTX: its header block (false: the buffer holds no image),
    // its rows by QTX row number (false: the row is damaged), its end with its track row.
    bool takeHeader(std::span<const std::uint8_t> block);
    bool storeRow(std::uint8_t code, std::span<const std::uint8_t> payload, int rownumber);
    void completeImage(const std::array<std::int32_t, 320>& tracklist);
    // An image read from a file, and the offsets of its track list.
    void replace(ImageRecord image) { record = std::move(image); }
    void setTrackOffsets(const TrackOffsets& offsets) { track = offsets; }

    const ImageRecord& image() const { return record; }
    const FlatField& flatField() const { return flat; }
    const Optics& opticsSettings() const { return optics; }
    const TrackOffsets& trackOffsets() const { return track; }

  private:
    // Width and height of what exists of the image; none (and said so) when nothing does.
    std::optional<std::pair<int, int>> exportSize();

    ImageRecord record;
    FlatField flat;
    Optics optics;
    TrackOffsets track;
};

}  // namespace qtx
