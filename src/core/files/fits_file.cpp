#include "files/fits_file.hpp"

#include <fitsio.h>

#include <algorithm>
#include <cstdlib>

namespace qtx {

namespace {

std::string errorText(int status) {
    char text[FLEN_STATUS] = {};
    ffgerr(status, text);
    ffcmsg();  // CFITSIO's message stack would otherwise keep every failure
    return text;
}

}  // namespace

FitsBytes encodeFits(std::int32_t width, std::int32_t height, std::span<const std::uint16_t> rows,
                     std::span<const FitsCard> cards) {
    FitsBytes out;
    const auto pixels = static_cast<std::size_t>(width) * static_cast<std::size_t>(height);
    if (width < 1 || height < 1 || rows.size() != pixels) {
        out.failure = "the image has no pixels";
        return out;
    }
    void* memory = nullptr;
    std::size_t memorySize = 0;
    fitsfile* fits = nullptr;
    int status = 0;
    // CFITSIO grows the buffer by this much at a time: the whole file at once, mostly.
    const std::size_t growth = 2 * pixels + 4 * 2880;
    const auto grow = [](void* block, std::size_t size) { return std::realloc(block, size); };
    ffimem(&fits, &memory, &memorySize, growth, grow, &status);
    long axes[2] = {width, height};
    ffcrim(fits, USHORT_IMG, 2, axes, &status);
    for (const FitsCard& c : cards) {
        if (c.name == "COMMENT") {
            ffpcom(fits, c.comment.c_str(), &status);
            continue;
        }
        char card[FLEN_CARD] = {};
        std::string value = c.value;  // CFITSIO takes it as a writable text
        ffmkky(c.name.c_str(), value.data(), c.comment.c_str(), card, &status);
        ffprec(fits, card, &status);
    }
    // CFITSIO subtracts BZERO itself: the values go in as they are.
    ffpprui(fits, 1, 1, static_cast<LONGLONG>(pixels), const_cast<unsigned short*>(rows.data()),
            &status);
    LONGLONG headStart = 0;
    LONGLONG dataStart = 0;
    LONGLONG dataEnd = 0;  // the end of the data padded to whole blocks: the file's length
    ffghadll(fits, &headStart, &dataStart, &dataEnd, &status);
    if (fits) {
        int closing = 0;
        ffclos(fits, &closing);
        if (status == 0) status = closing;
    }
    if (status == 0 && (dataEnd <= 0 || static_cast<std::size_t>(dataEnd) > memorySize)) {
        status = MEMORY_ALLOCATION;
    }
    if (status != 0) {
        out.failure = errorText(status);
    } else {
        const auto* bytes = static_cast<const std::uint8_t*>(memory);
        out.bytes.assign(bytes, bytes + dataEnd);
    }
    std::free(memory);
    return out;
}

FitsBytes imageFits(const ImageRecord& record, const KelmHeader* file, bool unitscm,
                    std::string_view software) {
    // During a reception the array may already be smaller than the record says: only what
    // exists is exported.
    const int width = std::min<int>(record.imagewidth, record.imagedata.width);
    const int height = std::min<int>(record.imageheight, record.imagedata.height);
    if (width < 1 || height < 1) return {{}, "the image has no pixels"};
    return encodeFits(width, height, rowsBottomUp(record.imagedata, width, height),
                      fitsCards(record, file, unitscm, software));
}

}  // namespace qtx
