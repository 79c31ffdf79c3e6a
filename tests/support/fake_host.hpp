// A Host that records everything the console does and answers dialogs from a script.
#pragma once

#include <deque>
#include <map>
#include <string>
#include <utility>
#include <vector>

#include "host.hpp"

namespace qtx::test {

struct TextEvent {
    TextBox box;
    std::string text;
    bool repainted;
};

struct TimerEvent {
    enum Kind { Start, Stop } kind;
    int interval;
};

class FakeHost : public Host {
  public:
    bool openResult = true;     // what the next openPort answers
    std::string failureDetail;  // what portFailureDetail answers
    bool open = false;
    int openedPort = 0, closeCount = 0;
    std::vector<std::string> settingsHistory;  // every settings string given, in order
    std::vector<std::vector<std::uint8_t>> written;
    std::vector<std::uint8_t> incoming;  // bytes waiting at the port

    bool openPort(int portNumber, const std::string& settings) override {
        settingsHistory.push_back(settings);
        if (openResult) openedPort = portNumber;
        return open = openResult;
    }
    void closePort() override { open = false, ++closeCount; }
    std::string portFailureDetail() override { return failureDetail; }
    void applySettings(const std::string& settings) override {
        settingsHistory.push_back(settings);
    }
    void write(std::span<const std::uint8_t> bytes) override {
        written.emplace_back(bytes.begin(), bytes.end());
    }
    std::vector<std::uint8_t> readAll() override { return std::exchange(incoming, {}); }

    bool timerRunning = false, oneShotRunning = false;
    int timerInterval = 0, oneShotInterval = 0;
    std::vector<TimerEvent> timerEvents;
    void startTimer(int intervalMs) override {
        timerRunning = true, timerInterval = intervalMs;
        timerEvents.push_back({TimerEvent::Start, intervalMs});
    }
    void stopTimer() override {
        timerRunning = false;
        timerEvents.push_back({TimerEvent::Stop, 0});
    }
    void startOneShot(int intervalMs) override {
        oneShotRunning = true, oneShotInterval = intervalMs;
    }
    void stopOneShot() override { oneShotRunning = false; }

    // Dialogs are answered from the scripts, "" (cancel) when one runs out.
    std::vector<TextEvent> texts;
    std::map<TextBox, std::string> current;
    std::vector<std::string> messageBoxes;
    struct PromptCall {
        std::string prompt, title, defaultText;
    };
    std::vector<PromptCall> prompts;
    std::deque<std::string> promptAnswers;
    std::vector<Colour> turboColours;
    Pointer pointer = Pointer::Default;
    int pointerChanges = 0;
    std::vector<ContrastTexts> contrastShown;
    std::vector<Histogram> histogramsShown;
    std::deque<ContrastTexts> contrastAnswers;
    struct FileDialogCall {
        bool open;
        std::string filter;
    };
    std::vector<FileDialogCall> fileDialogs;
    std::deque<std::string> fileAnswers;
    template <class T>
    static T next(std::deque<T>& answers) {
        if (answers.empty()) return {};
        T answer = answers.front();
        answers.pop_front();
        return answer;
    }

    void setText(TextBox box, const std::string& text, bool repaintNow) override {
        texts.push_back({box, text, repaintNow});
        current[box] = text;
    }
    void messageBox(const std::string& text) override { messageBoxes.push_back(text); }
    std::string prompt(const std::string& prompt, const std::string& title,
                       const std::string& defaultText) override {
        prompts.push_back({prompt, title, defaultText});
        return next(promptAnswers);
    }
    void setTurboColour(Colour colour) override { turboColours.push_back(colour); }
    void setPointer(Pointer shape) override { pointer = shape, ++pointerChanges; }
    ContrastTexts runContrastDialog(const ContrastTexts& initial,
                                    const Histogram& histogram) override {
        contrastShown.push_back(initial);
        histogramsShown.push_back(histogram);
        return next(contrastAnswers);
    }
    std::string fileDialog(bool open, const std::string& filter) override {
        fileDialogs.push_back({open, filter});
        return next(fileAnswers);
    }

    // Picture surface: 320 x 200 at the depth a test chooses.
    int bitsPerPixel = 32;
    std::vector<std::uint8_t> surface;  // the bits last set
    int repaints = 0;
    SurfaceGeometry surfaceGeometry() override {
        return {320 * bitsPerPixel / 8, 200, bitsPerPixel};
    }
    void setBitmapBits(std::span<const std::uint8_t> bits) override {
        surface.assign(bits.begin(), bits.end());
    }
    void setPixel(int, int, Colour) override {}
    void repaintPicture() override { ++repaints; }

    std::vector<Progress> progress;
    bool progressVisible = false;
    void showProgress(const Progress& p) override { progress.push_back(p), progressVisible = true; }
    void hideProgress() override { progressVisible = false; }

    void endProgram() override {}

    std::vector<Event> events;
    void report(const Event& event) override { events.push_back(event); }
    template <class T>
    std::vector<T> eventsOf() const {
        std::vector<T> out;
        for (const Event& e : events)
            if (const T* t = std::get_if<T>(&e)) out.push_back(*t);
        return out;
    }

    std::string text(TextBox box) const {
        auto it = current.find(box);
        return it == current.end() ? std::string{} : it->second;
    }
    std::vector<std::uint8_t> lastWritten() const {
        return written.empty() ? std::vector<std::uint8_t>{} : written.back();
    }
};

}  // namespace qtx::test
