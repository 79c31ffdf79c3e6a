// The QTX's images: synthetic star fields in its 32 data buffers, and the header block it
// sends for each. Header block, 16-bit little-endian words at these payload bytes:
//
//    0 flags        2 height       4 width        6 first row    8 first column
//   10 exposure    12 exposures   14-17 unused   18 focal length 20 aperture
//   22 date        24 time        26 temperature 28 site        30 egain x 100
//   32 background  34 range       36 pedestal    38-63 zero
//
// Flags: bit 1 inches, bit 2 plain aperture factor, bits 4-5 pixel size (1..3 = binning
// 1..3), bit 10 afternoon, bit 11 lunar filter, bit 12 history, bit 13 40-snapshot
// mosaic, bit 14 6-snapshot mosaic. Date: month << 12 | day << 7 | (year - 1999).
// Time: hour (0..11) << 12 | minute << 6 | second, with bit 10 of the flags for pm.
#pragma once

#include <array>
#include <cstdint>
#include <span>
#include <vector>

namespace qtx::sim {

inline constexpr int kSensorWidth = 320;
inline constexpr int kSensorHeight = 200;
inline constexpr int kBufferCount = 32;
inline constexpr int kScreenBuffer = 31;
inline constexpr std::size_t kHeaderBlockBytes = 64;

inline constexpr std::uint16_t kFlagInches = 1U << 1;
inline constexpr std::uint16_t kFlagPlainAperture = 1U << 2;
inline constexpr int kPixelSizeShift = 4;
inline constexpr std::uint16_t kFlagPm = 1U << 10;
inline constexpr std::uint16_t kFlagLunarFilter = 1U << 11;
inline constexpr std::uint16_t kFlagHistory = 1U << 12;
inline constexpr std::uint16_t kFlagMosaic40 = 1U << 13;
inline constexpr std::uint16_t kFlagMosaic6 = 1U << 14;

struct ImageHeader {
    std::uint16_t flags = 0;
    std::uint16_t height = 0;  // 0: the buffer is empty
    std::uint16_t width = 0;
    std::uint16_t firstrow = 0;
    std::uint16_t firstcolumn = 0;
    std::uint16_t exposure = 0;  // hundredths of a second, or 60000 + milliseconds
    std::uint16_t numexposures = 1;
    std::uint16_t focallength = 0;  // hundredths of a unit
    std::uint16_t aperture = 0;     // tenths of a unit
    std::uint16_t date = 0;
    std::uint16_t time = 0;
    std::int16_t temperature = 0;  // hundredths of a degree C
    std::uint16_t site = 0;
    std::uint16_t egain100 = 0;
    std::uint16_t background = 0;
    std::uint16_t range = 0;
    std::uint16_t pedestal = 0;
};

std::vector<std::uint8_t> headerBlock(const ImageHeader& header);

std::uint16_t dateWord(int year, int month, int day);
// The time word and whether the afternoon flag is needed (hour 0..23).
std::uint16_t timeWord(int hour, int minute, int second, bool& pm);
// Exposure in milliseconds as the header's word: hundredths where they are exact (or the
// time is too long for milliseconds), else 60000 + milliseconds.
std::uint16_t exposureWord(std::uint32_t milliseconds);

struct ImageBuffer {
    ImageHeader header;
    std::vector<std::uint16_t> pixels;  // row-major, header.width x header.height
    std::array<std::uint16_t, 320> trackrow{};
    bool rawRows = false;  // send every row uncompressed

    bool empty() const { return header.height == 0; }
    std::span<const std::uint16_t> row(int r) const {  // r from 0
        return std::span(pixels).subspan(static_cast<std::size_t>(r) * header.width, header.width);
    }
};

// A field of stars on a sky. Values are in ADU; `adcStep` 4 models a 14-bit converter
// whose counts are scaled to 16 bits (every value a multiple of 4).
struct FieldSettings {
    int width = 320;
    int height = 200;
    double sky = 300;
    double gradient = 0;    // sky change from left to right edge
    double readNoise = 6;   // ADU
    double shotGain = 0.5;  // noise grows with sqrt(signal * shotGain)
    int stars = 12;
    double peakMin = 500, peakMax = 20000;
    double sigmaMin = 1.0, sigmaMax = 1.8;
    int adcStep = 1;
    std::uint32_t clip = 65535;
};

std::vector<std::uint16_t> renderField(const FieldSettings& field, std::uint64_t seed);

// A mosaic: one star per 40 x 40 box, boxes in columns x rows, a snapshot each.
std::vector<std::uint16_t> renderMosaic(int boxColumns, int boxRows, double sky,
                                        std::uint64_t seed);

// Settings of an exposure taken with the keypad.
struct ExposureSettings {
    std::uint32_t exposureMs = 1000;
    int binning = 1;
    std::uint16_t egain100 = 200;
    std::uint16_t focallength = 20320;
    std::uint16_t aperture = 203;
    std::uint16_t site = 3;
    bool inches = false;
    int sum = 1;  // exposures summed (while tracking)
};

// The clock of the simulated instrument: a date and a time of day in milliseconds.
struct SimTime {
    int year = 2024, month = 3, day = 7;
    std::uint32_t dayMs = 21 * 3600000U + 5 * 60000U + 7000U;
};

ImageBuffer takeExposure(const ExposureSettings& settings, const SimTime& when, std::uint64_t seed);

// The 32 buffers the simulated QTX starts with.
std::array<ImageBuffer, kBufferCount> makeCatalogue(std::uint64_t seed);

}  // namespace qtx::sim
