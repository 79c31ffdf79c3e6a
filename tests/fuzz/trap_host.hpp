// The fuzz targets' host: a FakeHost that traps on a picture drawn outside the surface and on
// progress past its total.
#pragma once

#include "fake_host.hpp"

namespace qtx::test {

class TrapHost : public FakeHost {
  public:
    void setBitmapBits(std::span<const std::uint8_t> bits) override {
        const auto g = surfaceGeometry();
        if (bits.size() != static_cast<std::size_t>(g.bytesPerLine) * g.scanLines) __builtin_trap();
        FakeHost::setBitmapBits(bits);
    }
    void setPixel(int x, int y, Colour c) override {
        if (x < 0 || y < 0 || x >= 320 || y >= 200) __builtin_trap();
        FakeHost::setPixel(x, y, c);
    }
    void showProgress(const Progress& p) override {
        if (p.done < 0 || p.done > p.total) __builtin_trap();
        FakeHost::showProgress(p);
    }
    // What a test step leaves behind is not kept from one step to the next.
    void forget() {
        written.clear();
        texts.clear();
        timerEvents.clear();
        progress.clear();
    }
};

}  // namespace qtx::test
