// The QTX's front panel on the window: its two-line display and the sixteen keys in their
// six framed groups, laid out as on the instrument.
#include <QApplication>
#include <QFrame>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QPainter>
#include <QPlainTextEdit>
#include <QPolygonF>
#include <QPushButton>
#include <QVBoxLayout>

#include "main_window.hpp"

namespace qtx {

namespace {

constexpr int kKeyWidth = 86;
constexpr int kKeyHeight = 30;

constexpr int kArrowSize = 20;

// A filled triangle pointing the key's way.
QIcon arrowIcon(Qt::ArrowType direction, const QColor& colour) {
    const qreal ratio = qApp->devicePixelRatio();
    QPixmap pixmap(QSize(kArrowSize, kArrowSize) * ratio);
    pixmap.setDevicePixelRatio(ratio);
    pixmap.fill(Qt::transparent);
    QPainter painter(&pixmap);
    painter.setRenderHint(QPainter::Antialiasing);
    painter.setPen(Qt::NoPen);
    painter.setBrush(colour);
    const qreal s = kArrowSize;
    QPolygonF up{{s / 2, 3}, {s - 3, s - 5}, {3, s - 5}};
    QTransform turn;
    turn.translate(s / 2, s / 2);
    switch (direction) {
        case Qt::DownArrow:
            turn.rotate(180);
            break;
        case Qt::LeftArrow:
            turn.rotate(-90);
            break;
        case Qt::RightArrow:
            turn.rotate(90);
            break;
        default:
            break;
    }
    turn.translate(-s / 2, -s / 2);
    painter.drawPolygon(turn.map(up));
    painter.end();
    return QIcon(pixmap);
}

QGroupBox* group(const char* caption, QWidget* parent) {
    auto* box = new QGroupBox(QString::fromLatin1(caption), parent);
    box->setAlignment(Qt::AlignHCenter);
    return box;
}

}  // namespace

QWidget* MainWindow::buildFrontPanel(WindowParts& parts) {
    auto* panel = new QFrame(this);
    panel->setObjectName(QStringLiteral("frontpanel"));
    panel->setFrameStyle(QFrame::StyledPanel | QFrame::Raised);

    using Click = void (Console::*)();
    const auto key = [this, panel](const char* name, const char* caption, Click click) {
        auto* button = new QPushButton(QString::fromLatin1(caption), panel);
        button->setObjectName(QString::fromLatin1(name));
        button->setFixedSize(kKeyWidth, kKeyHeight);
        button->setFocusPolicy(Qt::TabFocus);
        connect(button, &QPushButton::clicked, this, [this, click] { (core.*click)(); });
        return button;
    };
    const auto arrow = [&key](const char* name, Qt::ArrowType direction, Click click) {
        QPushButton* button = key(name, "", click);
        button->setIcon(arrowIcon(direction, button->palette().color(QPalette::ButtonText)));
        button->setIconSize(QSize(kArrowSize, kArrowSize));
        return button;
    };

    // The display, framed, at the top right; the maker's logo text beside it.
    auto* QTXText = new QPlainTextEdit(panel);
    QTXText->setObjectName(QStringLiteral("QTXText"));
    QTXText->setReadOnly(true);
    QFont displayFont(QStringLiteral("Courier New"), 12, QFont::Bold);
    displayFont.setStyleHint(QFont::TypeWriter);
    QTXText->setFont(displayFont);
    QTXText->setLineWrapMode(QPlainTextEdit::NoWrap);
    QTXText->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    QTXText->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    QTXText->setStyleSheet(
        QStringLiteral("QPlainTextEdit { background: #1c2a1c; color: #b8f5a0; border: none; }"
                       "QPlainTextEdit[linkDown=\"true\"] { color: #5d6f58; }"));
    QTXText->setPlainText(QStringLiteral("QTX Remote Version 1.15\nRemote Operation Console"));
    // Room for the QTX's two lines of 24 characters, so its columns stay where it put them.
    const QFontMetrics metrics(displayFont);
    const int margin = static_cast<int>(QTXText->document()->documentMargin()) * 2 + 4;
    QTXText->setFixedSize(metrics.horizontalAdvance(QString(24, u'M')) + margin,
                          metrics.lineSpacing() * 2 + margin);

    auto* display = new QFrame(panel);
    display->setFrameStyle(QFrame::Box | QFrame::Plain);
    display->setLineWidth(2);
    auto* displayLayout = new QVBoxLayout(display);
    displayLayout->setContentsMargins(6, 6, 6, 6);
    displayLayout->addWidget(QTXText);
    parts.QTXText = QTXText;

    auto* logo = new QLabel(QStringLiteral("<b style='font-size:22pt'>QTX</b><br>"
                                           "<span style='font-size:9pt'>Autoguider</span>"),
                            panel);
    logo->setAlignment(Qt::AlignCenter);

    // Acquire: three keys in a row.
    auto* acquire = group("Acquire", panel);
    auto* acquireLayout = new QHBoxLayout(acquire);
    acquireLayout->addWidget(key("cmdfocus", "Focus", &Console::cmdfocus_Click));
    acquireLayout->addWidget(key("cmdimage", "Image", &Console::cmdimage_Click));
    acquireLayout->addWidget(key("cmdmonitor", "Monitor", &Console::cmdmonitor_Click));

    // Control: Parameter and Value on top; up above down with Turbo beside them; left and
    // right side by side.
    auto* control = group("Control", panel);
    auto* controlLayout = new QGridLayout(control);
    controlLayout->addWidget(key("cmdparameter", "Parameter", &Console::cmdparameter_Click), 0, 0);
    controlLayout->addWidget(key("cmdvalue", "Value", &Console::cmdvalue_Click), 0, 1);
    controlLayout->addWidget(arrow("cmdup", Qt::UpArrow, &Console::cmdup_Click), 1, 0);
    controlLayout->addWidget(arrow("cmddown", Qt::DownArrow, &Console::cmddown_Click), 2, 0);
    auto* turboKey = key("cmdturbo", "Turbo", &Console::cmdturbo_Click);
    turboKey->setFixedHeight(kKeyHeight * 2 + controlLayout->verticalSpacing());
    parts.cmdturbo = turboKey;
    controlLayout->addWidget(turboKey, 1, 1, 2, 1);
    controlLayout->addWidget(arrow("cmdleft", Qt::LeftArrow, &Console::cmdleft_Click), 3, 0);
    controlLayout->addWidget(arrow("cmdright", Qt::RightArrow, &Console::cmdright_Click), 3, 1);

    auto* guide = group("Guide", panel);
    auto* guideLayout = new QVBoxLayout(guide);
    guideLayout->addWidget(key("cmdcalibrate", "Calibrate", &Console::cmdcalibrate_Click));
    guideLayout->addWidget(key("cmdtrack", "Track", &Console::cmdtrack_Click));

    auto* process = group("Process", panel);
    auto* processLayout = new QVBoxLayout(process);
    processLayout->addWidget(key("cmddisplay", "Display", &Console::cmddisplay_Click));
    processLayout->addWidget(key("cmdfileops", "File Ops", &Console::cmdfileops_Click));

    auto* setup = group("Setup", panel);
    auto* setupLayout = new QVBoxLayout(setup);
    setupLayout->addWidget(key("cmdsetup", "Setup", &Console::cmdsetup_Click));
    setupLayout->addStretch();

    auto* interrupt = group("Interrupt", panel);
    auto* interruptLayout = new QVBoxLayout(interrupt);
    interruptLayout->addWidget(key("cmdinterrupt", "Interrupt", &Console::cmdinterrupt_Click));
    interruptLayout->addStretch();

    auto* lower = new QHBoxLayout;
    lower->addWidget(guide);
    lower->addWidget(process);
    lower->addWidget(setup);
    lower->addWidget(interrupt);

    auto* grid = new QGridLayout(panel);
    grid->addWidget(logo, 0, 0);
    grid->addWidget(display, 0, 1, Qt::AlignRight);
    grid->addWidget(acquire, 1, 0, Qt::AlignTop);
    grid->addWidget(control, 1, 1);
    grid->addLayout(lower, 2, 0, 1, 2);
    return panel;
}

}  // namespace qtx
