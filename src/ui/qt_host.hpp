// The Host of the console on Qt: the serial port, the watchdog timer, the dialogs, the
// text boxes and the picture surface of the main window.
#pragma once

#include <QElapsedTimer>
#include <QObject>
#include <QSerialPort>
#include <QTimer>

#include "host.hpp"
#include "serial_settings.hpp"

class QAbstractButton;
class QLabel;
class QPlainTextEdit;
class QProgressBar;
class QWidget;

namespace qtx {

class Console;
class ContrastDialog;
class PictureView;

// The window's controls the host works on; they belong to the main window.
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
};

inline constexpr const char* kDefaultTitle = "QTX Remote Console";

class QtHost : public QObject, public Host {
    Q_OBJECT
  public:
    explicit QtHost(PortMap ports, QObject* parent = nullptr);

    // Both must be called before the console runs.
    void bind(const WindowParts& parts) { ui = parts; }
    void attach(Console& console) { core = &console; }

    bool openPort(int portNumber, const std::string& settings) override;
    void closePort() override;
    std::string portFailureDetail() override;
    void applySettings(const std::string& settings) override;
    void write(std::span<const std::uint8_t> bytes) override;
    std::vector<std::uint8_t> readAll() override;

    void startTimer(int intervalMs) override;
    void stopTimer() override;

    void setText(TextBox box, const std::string& text, bool repaintNow) override;
    void messageBox(const std::string& text) override;
    std::string prompt(const std::string& prompt, const std::string& title,
                       const std::string& defaultText) override;
    void setTurboColour(Colour colour) override;
    void setPointer(Pointer shape) override;
    ContrastTexts runContrastDialog(const ContrastTexts& initial) override;

    SurfaceGeometry surfaceGeometry() override;
    void setBitmapBits(std::span<const std::uint8_t> bits) override;
    void setPixel(int x, int y, Colour colour) override;
    void repaintPicture() override;

    std::string fileDialog(bool open, const std::string& filter) override;

    void showProgress(const Progress& progress) override;
    void hideProgress() override;
    void startOneShot(int intervalMs) override;
    void stopOneShot() override;

    void endProgram() override;

    const QSerialPort& serialPort() const { return port; }
    const QTimer& watchdogTimer() const { return entrytimer; }
    Colour turboColour() const { return turbo; }

  private:
    void onReadyRead();
    void onPortError(QSerialPort::SerialPortError error);
    void scheduleLossCheck();
    void checkForLoss();
    bool hungUp() const;
    QPlainTextEdit* textBox(TextBox box) const;

    PortMap ports;
    WindowParts ui;
    Console* core = nullptr;

    QSerialPort port;  // `MSComm1`
    QTimer entrytimer;
    QTimer oneShot;
    SerialSettings remembered;
    int openPortNumber = 0;
    QString openDevice;
    QString failureDetail;
    bool lossCheckQueued = false;
    int troubleSinceData = 0;  // errors and empty receive events since bytes last came in

    Colour turbo{255, 0, 0};
    QElapsedTimer progressClock;
    bool progressRunning = false;
    int progressStartRows = 0;
    Progress::Kind progressKind = Progress::Kind::Rows;
    int progressBuffer = -1;
    qint64 progressShownAtMs = 0;
    int progressRepeatsShown = 0;
    static constexpr qint64 kProgressPeriodMs = 250;
};

}  // namespace qtx
