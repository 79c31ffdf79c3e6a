// The window half of QtHost: text boxes, dialogs, Turbo colour, pointer, picture surface,
// progress, timer and the end of the program.
#include "qt_host.hpp"

#include <QAbstractButton>
#include <QApplication>
#include <QFile>
#include <QFileDialog>
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

void QtHost::showProgress(const Progress& progress) {
    if (!ui.progressBar || !ui.progressText) return;
    const bool first = !progressRunning || progress.kind != progressKind ||
                       progress.buffer != progressBuffer || progress.done < progressStartRows;
    if (first) {
        progressRunning = true;
        progressKind = progress.kind;
        progressBuffer = progress.buffer;
        progressClock.start();
        progressStartRows = progress.done;
    }
    // Every update re-lays the status bar out and repaints it, which would delay the next
    // request; a few updates a second are all an eye can follow.
    if (!first && progress.repeats == progressRepeatsShown && progress.done < progress.total &&
        progressClock.elapsed() - progressShownAtMs < kProgressPeriodMs) {
        return;
    }
    progressShownAtMs = progressClock.elapsed();
    progressRepeatsShown = progress.repeats;
    const int total = std::max(progress.total, 1);
    const int done = std::clamp(progress.done, 0, total);
    ui.progressBar->setRange(0, total);
    ui.progressBar->setValue(done);

    QString text;
    if (progress.kind == Progress::Kind::Pages) {
        text = QStringLiteral("Page %1 of %2").arg(progress.done).arg(progress.total);
    } else if (progress.images > 0) {
        text = QStringLiteral("Buffer %1, image %2 of %3: row %4 of %5")
                   .arg(progress.buffer)
                   .arg(progress.image)
                   .arg(progress.images)
                   .arg(progress.done)
                   .arg(progress.total);
    } else {
        text = QStringLiteral("Row %1 of %2").arg(progress.done).arg(progress.total);
    }
    if (progress.repeats > 0) text += QStringLiteral(", %1 repeated").arg(progress.repeats);
    // The rate of this transfer so far, from its first progress report on.
    const qint64 elapsedMs = progressClock.elapsed();
    const int doneSince = done - progressStartRows;
    if (doneSince > 0 && elapsedMs > 0) {
        const qint64 leftMs = static_cast<qint64>(total - done) * elapsedMs / doneSince;
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

void QtHost::startOneShot(int intervalMs) { oneShot.start(intervalMs); }

void QtHost::stopOneShot() { oneShot.stop(); }

std::string QtHost::fileDialog(bool open, const std::string& filter) {
    // "All Files (*.*)|*.*|QTX Files (*.QTX)|*.QTX": descriptions at even places; Qt wants
    // the description only, with the pattern already in brackets.
    const QStringList parts = fromBytes(filter).split(u'|');
    QStringList filters;
    for (qsizetype i = 0; i + 1 < parts.size(); i += 2) filters << parts[i];
    QFileDialog dialog(ui.window);
    dialog.setAcceptMode(open ? QFileDialog::AcceptOpen : QFileDialog::AcceptSave);
    dialog.setFileMode(open ? QFileDialog::ExistingFile : QFileDialog::AnyFile);
    dialog.setNameFilters(filters);
    if (filters.size() > 1) dialog.selectNameFilter(filters[1]);
    // The console itself refuses to overwrite; the dialog need not ask.
    dialog.setOption(QFileDialog::DontConfirmOverwrite, true);
    dialog.setOption(QFileDialog::ReadOnly, false);
    if (dialog.exec() != QDialog::Accepted || dialog.selectedFiles().isEmpty()) return {};
    // The core opens files by these bytes, so they are the file system's own encoding.
    return QFile::encodeName(dialog.selectedFiles().constFirst()).toStdString();
}

void QtHost::endProgram() { QCoreApplication::quit(); }

}  // namespace qtx
