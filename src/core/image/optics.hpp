// The unit and aperture factor the image's lengths are held in.
#pragma once

namespace qtx {

struct Optics {
    bool unitscm = false;       // lengths in centimetres, else inches
    bool apertureflag = false;  // area factor 0.7223644800000001, else 0.98
};

}  // namespace qtx
