// The Host of the console in the window: the dialogs, the text boxes, the progress and the
// picture surface of the main window, on the serial port and timers of ShellHost.
#pragma once

#include <QElapsedTimer>
#include <QString>

#include "progress_meter.hpp"
#include "shell_host.hpp"

class QAbstractButton;
class QLabel;
class QPlainTextEdit;
class QProgressBar;
class QWidget;

namespace qtx {

class ContrastDialog;
class PictureView;
class StatusPanel;

// The window's controls; they belong to the main window, which builds every one of them
// before the host that works on them.
struct WindowParts {
    QWidget* window = nullptr;
    QPlainTextEdit* PCtext = nullptr;
    QPlainTextEdit* QTXText = nullptr;
    QPlainTextEdit* headertxt = nullptr;
    QAbstractButton* cmdturbo = nullptr;
    PictureView* Picdata = nullptr;
    ContrastDialog* frmcontrast = nullptr;
    QLabel* progressText = nullptr;
    QProgressBar* progressBar = nullptr;
    QPlainTextEdit* history = nullptr;
    StatusPanel* status = nullptr;
};

inline constexpr const char* kDefaultTitle = "QTX Remote Console";

class QtHost : public ShellHost {
    Q_OBJECT
  public:
    QtHost(PortMap ports, const WindowParts& parts, QObject* parent = nullptr);

    void setText(TextBox box, const std::string& text, bool repaintNow) override;
    void messageBox(const std::string& text) override;
    std::string prompt(const std::string& prompt, const std::string& title,
                       const std::string& defaultText) override;
    void setTurboColour(Colour colour) override;
    void setPointer(Pointer shape) override;
    ContrastTexts runContrastDialog(const ContrastTexts& initial,
                                    const Histogram& histogram) override;

    SurfaceGeometry surfaceGeometry() override;
    void setBitmapBits(std::span<const std::uint8_t> bits) override;
    void setPixel(int x, int y, Colour colour) override;
    void repaintPicture() override;

    std::string fileDialog(bool open, const std::string& filter) override;

    void showProgress(const Progress& progress) override;
    void hideProgress() override;

    void applySettings(const std::string& settings) override;
    // Every event of the console: to the status bar and history, and to the window's parts
    // that follow them.
    void report(const Event& event) override;

    // While set, the texts shown stay out of the history (the pixel probe's, on every move).
    void setHistoryQuiet(bool quiet) { historyQuiet = quiet; }
    // The title of the next file dialog, which says what it asks for (once; then the default).
    void titleNextDialog(QString title) { nextDialogTitle = std::move(title); }

  signals:
    void reported(const qtx::Event& event);

  private:
    QPlainTextEdit* textBox(TextBox box) const;

    const WindowParts ui;
    QElapsedTimer progressClock;
    ProgressMeter progress{250};
    bool historyQuiet = false;
    QString nextDialogTitle;
};

}  // namespace qtx
