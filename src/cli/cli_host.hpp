// The console's Host without a window: the serial port and timers of ShellHost, file dialogs
// answered with the path the command was given, no prompts, and no picture. Everything the console
// shows or sends is passed to a listener, which decides what the command prints and when it is
// done.
#pragma once

#include <cstdio>
#include <span>
#include <string>
#include <vector>

#include "shell_host.hpp"
#include "text/crlf.hpp"

namespace qtx::cli {

class HostListener {
  public:
    virtual ~HostListener() = default;
    virtual void text(TextBox /*box*/, const std::string& /*text*/) {}
    virtual void message(const std::string& /*text*/) {}
    virtual void sent(std::span<const std::uint8_t> /*frame*/) {}
    virtual void progress(const Progress& /*progress*/) {}
    virtual void progressHidden() {}
    virtual void event(const Event& /*event*/) {}
};

class CliHost : public ShellHost {
    Q_OBJECT
  public:
    CliHost(PortMap ports, HostListener& listener, QObject* parent = nullptr);

    // What every file dialog answers from now on, as if the user had typed it.
    void answerFileDialogs(std::string path) { fileAnswer = std::move(path); }

    void write(std::span<const std::uint8_t> bytes) override;

    void setText(TextBox box, const std::string& text, bool repaintNow) override;
    void messageBox(const std::string& text) override;
    std::string prompt(const std::string& prompt, const std::string& title,
                       const std::string& defaultText) override;
    void setTurboColour(Colour colour) override;
    void setPointer(Pointer shape) override;
    ContrastTexts runContrastDialog(const ContrastTexts& initial,
                                    const Histogram& histogram) override;
    std::string fileDialog(bool open, const std::string& filter) override;

    SurfaceGeometry surfaceGeometry() override;
    void setBitmapBits(std::span<const std::uint8_t> bits) override;
    void setPixel(int x, int y, Colour colour) override;
    void repaintPicture() override;

    void showProgress(const Progress& progress) override;
    void hideProgress() override;
    void report(const Event& event) override { listener.event(event); }

  private:
    HostListener& listener;
    std::string fileAnswer;
};

// Standard error of a command: whole lines, and one progress line that a terminal shows in
// place (a pipe or file gets it as lines of their own).
class StatusOutput {
  public:
    StatusOutput(std::FILE* out, bool terminal) : out(out), terminal(terminal) {}
    void line(const std::string& text);
    void progress(const std::string& text);
    void clearProgress();

  private:
    std::FILE* out;
    bool terminal;
    std::size_t shownWidth = 0;  // of the progress line on a terminal; 0: none shown
};

}  // namespace qtx::cli
