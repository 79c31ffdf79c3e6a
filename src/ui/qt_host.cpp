// The window half of the host: text boxes, dialogs, Turbo colour, pointer, picture surface
// and progress.
#include "qt_host.hpp"

#include <QAbstractButton>
#include <QFile>
#include <QFileDialog>
#include <QInputDialog>
#include <QLabel>
#include <QMessageBox>
#include <QPlainTextEdit>
#include <QProgressBar>
#include <QSettings>
#include <utility>

#include "contrast_dialog.hpp"
#include "picture_view.hpp"
#include "status_panel.hpp"

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

QtHost::QtHost(PortMap ports, const WindowParts& parts, QObject* parent)
    : ShellHost(std::move(ports),
                {QStringLiteral("Link > Choose Serial Port..."),
                 QStringLiteral("choose Establish Link when it is back")},
                parent),
      ui(parts) {
    progressClock.start();
}

QPlainTextEdit* QtHost::textBox(TextBox box) const {
    switch (box) {
        case TextBox::QTXText:
            return ui.QTXText;
        case TextBox::headertxt:
            return ui.headertxt;
        case TextBox::PCtext:
            break;
    }
    return ui.PCtext;
}

void QtHost::setText(TextBox box, const std::string& text, bool repaintNow) {
    QPlainTextEdit* edit = textBox(box);
    edit->setPlainText(displayed(text));
    if (repaintNow) edit->viewport()->repaint();
    if (box == TextBox::PCtext && !historyQuiet && ui.status) {
        ui.status->statusText(displayed(text));
    }
}

void QtHost::applySettings(const std::string& settings) {
    ShellHost::applySettings(settings);
    if (ui.status) ui.status->setBaud(fromBytes(settings));
}

void QtHost::report(const Event& event) {
    if (ui.status) ui.status->report(event, portMap());
    emit reported(event);
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
    // A style sheet colours the button the same under every widget style.
    ui.cmdturbo->setStyleSheet(QStringLiteral("QPushButton { background-color: rgb(%1, %2, %3);"
                                              " border: 1px solid #555; border-radius: 4px; }"
                                              "QPushButton:pressed { border: 2px solid #222; }")
                                   .arg(colour.red)
                                   .arg(colour.green)
                                   .arg(colour.blue));
}

void QtHost::setPointer(Pointer shape) {
    if (shape == Pointer::Crosshair) {
        ui.window->setCursor(Qt::CrossCursor);
    } else {
        ui.window->unsetCursor();
    }
}

ContrastTexts QtHost::runContrastDialog(const ContrastTexts& initial, const Histogram& histogram) {
    return ui.frmcontrast->run(initial, histogram);
}

SurfaceGeometry QtHost::surfaceGeometry() { return ui.Picdata->geometryOfBits(); }

void QtHost::setBitmapBits(std::span<const std::uint8_t> bits) { ui.Picdata->setBits(bits); }

void QtHost::setPixel(int x, int y, Colour colour) { ui.Picdata->setPixel(x, y, colour); }

void QtHost::repaintPicture() { ui.Picdata->update(); }

void QtHost::showProgress(const Progress& p) {
    const auto shown = progress.update(p, progressClock.elapsed());
    if (!shown) return;
    ui.progressBar->setRange(0, shown->total);
    ui.progressBar->setValue(shown->done);
    ui.progressText->setText(shown->text);
    ui.progressText->show();
    ui.progressBar->show();
}

void QtHost::hideProgress() {
    progress.stop();
    ui.progressText->hide();
    ui.progressBar->hide();
}

std::string QtHost::fileDialog(bool open, const std::string& filter) {
    // "All Files (*.*)|*.*|QTX Files (*.QTX)|*.QTX": descriptions at even places; Qt wants
    // the description only, with the pattern already in brackets.
    const QStringList parts = fromBytes(filter).split(u'|');
    QStringList filters;
    for (qsizetype i = 0; i + 1 < parts.size(); i += 2) filters << parts[i];
    QFileDialog dialog(ui.window);
    if (!nextDialogTitle.isEmpty()) dialog.setWindowTitle(std::exchange(nextDialogTitle, {}));
    // The folder used last, also in an earlier run.
    QSettings settings;
    const QString folder = settings.value(QStringLiteral("lastFolder")).toString();
    if (!folder.isEmpty()) dialog.setDirectory(folder);
    dialog.setAcceptMode(open ? QFileDialog::AcceptOpen : QFileDialog::AcceptSave);
    dialog.setFileMode(open ? QFileDialog::ExistingFile : QFileDialog::AnyFile);
    dialog.setNameFilters(filters);
    if (filters.size() > 1) dialog.selectNameFilter(filters[1]);
    // The console itself refuses to overwrite; the dialog need not ask.
    dialog.setOption(QFileDialog::DontConfirmOverwrite, true);
    dialog.setOption(QFileDialog::ReadOnly, false);
    if (dialog.exec() != QDialog::Accepted || dialog.selectedFiles().isEmpty()) return {};
    settings.setValue(QStringLiteral("lastFolder"), dialog.directory().absolutePath());
    // The core opens files by these bytes, so they are the file system's own encoding.
    return QFile::encodeName(dialog.selectedFiles().constFirst()).toStdString();
}

}  // namespace qtx
