// The window half of QtHost: text boxes, dialogs, Turbo colour, pointer, picture surface,
// progress, timer and the end of the program.
#include "qt_host.hpp"

#include <QAbstractButton>
#include <QApplication>
#include <QInputDialog>
#include <QLabel>
#include <QMessageBox>
#include <QPlainTextEdit>
#include <QProgressBar>
#include <algorithm>

#include "contrast_dialog.hpp"
#include "picture_view.hpp"

namespace qtx {

namespace {

QString fromBytes(const std::string& text) {
    return QString::fromLatin1(text.data(), static_cast<qsizetype>(text.size()));
}

std::string toBytes(const QString& text) { return text.toLatin1().toStdString(); }

// The console breaks lines with CR LF; a text box wants one line break character.
QString displayed(const std::string& text) {
    QString s = fromBytes(text);
    s.replace(QStringLiteral("\r\n"), QStringLiteral("\n"));
    s.replace(u'\r', u'\n');
    return s;
}

}  // namespace

void QtHost::startTimer(int intervalMs) { entrytimer.start(intervalMs); }

void QtHost::stopTimer() { entrytimer.stop(); }

QPlainTextEdit* QtHost::textBox(TextBox box) const {
    switch (box) {
        case TextBox::PCtext:
            return ui.PCtext;
        case TextBox::QTXText:
            return ui.QTXText;
        case TextBox::headertxt:
            return ui.headertxt;
    }
    return nullptr;
}

void QtHost::setText(TextBox box, const std::string& text, bool repaintNow) {
    QPlainTextEdit* edit = textBox(box);
    if (!edit) return;
    edit->setPlainText(displayed(text));
    if (repaintNow) edit->viewport()->repaint();
}

void QtHost::messageBox(const std::string& text) {
    QMessageBox box(QMessageBox::NoIcon, QString::fromLatin1(kDefaultTitle), fromBytes(text),
                    QMessageBox::Ok, ui.window);
    box.exec();
}

std::string QtHost::prompt(const std::string& prompt, const std::string& title,
                           const std::string& defaultText) {
    bool ok = false;
    const QString answer = QInputDialog::getText(
        ui.window, title.empty() ? QString::fromLatin1(kDefaultTitle) : fromBytes(title),
        fromBytes(prompt), QLineEdit::Normal, fromBytes(defaultText), &ok);
    return ok ? toBytes(answer) : std::string{};
}

void QtHost::setTurboColour(Colour colour) {
    turbo = colour;
    if (!ui.cmdturbo) return;
    // A style sheet colours the button the same under every widget style.
    ui.cmdturbo->setStyleSheet(QStringLiteral("QPushButton { background-color: rgb(%1, %2, %3);"
                                              " border: 1px solid #555; border-radius: 4px; }"
                                              "QPushButton:pressed { border: 2px solid #222; }")
                                   .arg(colour.red)
                                   .arg(colour.green)
                                   .arg(colour.blue));
}

void QtHost::setPointer(Pointer shape) {
    if (!ui.window) return;
    if (shape == Pointer::Crosshair) {
        ui.window->setCursor(Qt::CrossCursor);
    } else {
        ui.window->unsetCursor();
    }
}

ContrastTexts QtHost::runContrastDialog(const ContrastTexts& initial) {
    if (!ui.frmcontrast) return {};
    return ui.frmcontrast->run(initial);
}

SurfaceGeometry QtHost::surfaceGeometry() {
    return ui.Picdata ? ui.Picdata->geometryOfBits() : SurfaceGeometry{};
}

void QtHost::setBitmapBits(std::span<const std::uint8_t> bits) {
    if (ui.Picdata) ui.Picdata->setBits(bits);
}

void QtHost::setPixel(int x, int y, Colour colour) {
    if (ui.Picdata) ui.Picdata->setPixel(x, y, colour);
}

void QtHost::repaintPicture() {
    if (ui.Picdata) ui.Picdata->update();
}

void QtHost::showProgress(int rowsReceived, int rowsTotal, int repeats) {
    if (!ui.progressBar || !ui.progressText) return;
    const bool first = !progressRunning;
    if (first) {
        progressRunning = true;
        progressClock.start();
        progressStartRows = rowsReceived;
    }
    // Every update re-lays the status bar out and repaints it, which would delay the next
    // row request; a few updates a second are all an eye can follow.
    if (!first && repeats == progressRepeatsShown && rowsReceived < rowsTotal &&
        progressClock.elapsed() - progressShownAtMs < kProgressPeriodMs) {
        return;
    }
    progressShownAtMs = progressClock.elapsed();
    progressRepeatsShown = repeats;
    const int total = std::max(rowsTotal, 1);
    const int rows = std::clamp(rowsReceived, 0, total);
    ui.progressBar->setRange(0, total);
    ui.progressBar->setValue(rows);

    QString text = QStringLiteral("Row %1 of %2").arg(rowsReceived).arg(rowsTotal);
    if (repeats > 0) text += QStringLiteral(", %1 repeated").arg(repeats);
    // The rate of this image so far, from the first progress report on.
    const qint64 elapsedMs = progressClock.elapsed();
    const int rowsSince = rows - progressStartRows;
    if (rowsSince > 0 && elapsedMs > 0) {
        const qint64 leftMs = static_cast<qint64>(total - rows) * elapsedMs / rowsSince;
        text += QStringLiteral(", about %1 s left").arg((leftMs + 999) / 1000);
    }
    ui.progressText->setText(text);
    ui.progressText->show();
    ui.progressBar->show();
}

void QtHost::hideProgress() {
    progressRunning = false;
    if (ui.progressText) ui.progressText->hide();
    if (ui.progressBar) ui.progressBar->hide();
}

void QtHost::endProgram() { QCoreApplication::quit(); }

}  // namespace qtx
