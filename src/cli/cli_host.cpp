#include "cli_host.hpp"

#include <algorithm>

namespace qtx::cli {

CliHost::CliHost(PortMap ports, HostListener& listener, QObject* parent)
    : ShellHost(std::move(ports), {QStringLiteral("--port"), QString()}, parent),
      listener(listener) {}

void CliHost::write(std::span<const std::uint8_t> bytes) {
    // Told before the bytes leave, so that a frame is known even when the port has gone.
    listener.sent(bytes);
    ShellHost::write(bytes);
}

void CliHost::setText(TextBox box, const std::string& text, bool) { listener.text(box, text); }

void CliHost::messageBox(const std::string& text) { listener.message(text); }

std::string CliHost::prompt(const std::string&, const std::string&, const std::string&) {
    return {};  // nobody to ask: as if cancelled
}

void CliHost::setTurboColour(Colour) {}

void CliHost::setPointer(Pointer) {}

ContrastTexts CliHost::runContrastDialog(const ContrastTexts&, const Histogram&) {
    return {};  // closed without an answer
}

std::string CliHost::fileDialog(bool, const std::string&) { return fileAnswer; }

// A surface of whole 32-bit lines, so that the console hands over each picture in one call
// (rather than pixel by pixel) and nothing is drawn.
SurfaceGeometry CliHost::surfaceGeometry() { return {320 * 4, 200, 32}; }

void CliHost::setBitmapBits(std::span<const std::uint8_t>) {}

void CliHost::setPixel(int, int, Colour) {}

void CliHost::repaintPicture() {}

void CliHost::showProgress(const Progress& progress) { listener.progress(progress); }

void CliHost::hideProgress() { listener.progressHidden(); }

void StatusOutput::line(const std::string& text) {
    if (std::ferror(out)) return;  // nobody reads any more (a closed pipe)
    clearProgress();
    std::fputs(text.c_str(), out);
    std::fputc('\n', out);
    std::fflush(out);
}

void StatusOutput::progress(const std::string& text) {
    if (std::ferror(out)) return;
    if (!terminal) {
        line(text);
        return;
    }
    // Blanks cover what is left of a longer line before.
    const std::size_t pad = shownWidth > text.size() ? shownWidth - text.size() : 0;
    std::fputc('\r', out);
    std::fputs(text.c_str(), out);
    std::fputs(std::string(pad, ' ').c_str(), out);
    std::fflush(out);
    shownWidth = std::max<std::size_t>(text.size(), 1);
}

void StatusOutput::clearProgress() {
    if (shownWidth == 0 || std::ferror(out)) return;
    std::fputc('\r', out);
    std::fputs(std::string(shownWidth, ' ').c_str(), out);
    std::fputc('\r', out);
    std::fflush(out);
    shownWidth = 0;
}

}  // namespace qtx::cli
