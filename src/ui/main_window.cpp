#include "main_window.hpp"

#include <QCloseEvent>
#include <QCoreApplication>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QMouseEvent>
#include <QPlainTextEdit>
#include <QProgressBar>
#include <QScreen>
#include <QStatusBar>
#include <QVBoxLayout>

#include "contrast_dialog.hpp"
#include "picture_area.hpp"
#include "picture_view.hpp"
#include "status_panel.hpp"

namespace qtx {

namespace {

QPlainTextEdit* textBox(const char* name, const QString& text, QWidget* parent) {
    auto* box = new QPlainTextEdit(parent);
    box->setObjectName(QString::fromLatin1(name));
    box->setReadOnly(true);
    box->setPlainText(text);
    return box;
}

}  // namespace

MainWindow::MainWindow(const PortMap& ports, QWidget* parent, TrafficLog* log)
    : QMainWindow(parent), ui(buildParts()), qtHost(ports, ui, this) {
    qtHost.setTrafficLog(log);
    setObjectName(QStringLiteral("frmQTXdriver"));
    setWindowTitle(QStringLiteral("QTX Remote Operation Console"));

    auto* starField = new QLabel(this);
    starField->setObjectName(QStringLiteral("starField"));
    starField->hide();
    statusBar()->addWidget(starField);
    tools = new Observer(this, starField);
    connect(&qtHost, &QtHost::reported, this, [this](const Event& e) { tools->event(e); });
    growing = new GrowingPicture(ui.Picdata, this);
    connect(&qtHost, &QtHost::reported, growing, &GrowingPicture::event);
    connect(ui.Picdata, &PictureView::clicked, this, [this](double x, double y) {
        const std::string text = tools->clicked(x, y);
        if (!text.empty()) qtHost.setText(TextBox::PCtext, text, false);
    });

    buildMenus();
    trackFormMoves(centralWidget());

    connectConsole(qtHost, core, this);
    // The pixel probe's texts change on every move; the history keeps what happened.
    connect(ui.Picdata, &PictureView::pointerMoved, this,
            [this](int button, int shift, double x, double y) {
                qtHost.setHistoryQuiet(true);
                core.Picdata_MouseMove(button, shift, x, y);
                qtHost.setHistoryQuiet(false);
            });
    // Leaving the picture straight into a control never reaches the window's own move
    // event, so the pointer is put back here as well.
    connect(ui.Picdata, &PictureView::pointerLeft, this, [this] {
        qtHost.setHistoryQuiet(true);
        core.Form_MouseMove(0, 0, -1, -1);
        qtHost.setHistoryQuiet(false);
    });
    connect(&qtHost, &ShellHost::serialEvent, ui.status, [this](SerialEvent kind) {
        if (kind == SerialEvent::DataReceived) ui.status->answered();
    });
    connect(QCoreApplication::instance(), &QCoreApplication::aboutToQuit, this,
            &MainWindow::shutDown);

    core.Form_Load();
}

// Runs before the host and the console exist: it builds on the window alone.
WindowParts MainWindow::buildParts() {
    WindowParts parts;
    parts.window = this;

    auto* central = new QWidget(this);
    setCentralWidget(central);

    auto* pictureFrame = new QFrame(central);
    pictureFrame->setFrameStyle(QFrame::Panel | QFrame::Sunken);
    parts.Picdata =
        new PictureView(zoomFactor(kStartZoom, 0, 0, PictureView::kWidth, PictureView::kHeight));
    auto* pictureArea = new PictureArea(parts.Picdata, pictureFrame);
    auto* pictureLayout = new QVBoxLayout(pictureFrame);
    pictureLayout->setContentsMargins(2, 2, 2, 2);
    pictureLayout->addWidget(pictureArea);

    QPlainTextEdit* PCtext =
        textBox("PCtext", QStringLiteral(" PC Messages appear here!\n"), central);
    PCtext->setMinimumHeight(PCtext->fontMetrics().lineSpacing() * 3 + 14);
    auto* pcLabel = new QLabel(QStringLiteral("PC Message:"), central);
    pcLabel->setBuddy(PCtext);
    pcLabel->setAlignment(Qt::AlignLeft | Qt::AlignTop);
    // Beside it, everything that happened, with its time.
    QPlainTextEdit* history = textBox("history", QString(), central);
    history->setToolTip(QStringLiteral("Message history"));
    auto* pcRow = new QHBoxLayout;
    pcRow->addWidget(pcLabel, 0, Qt::AlignTop);
    pcRow->addWidget(PCtext, 1);
    pcRow->addWidget(history, 1);
    parts.history = history;
    pcRow->setAlignment(pcLabel, Qt::AlignTop);
    parts.PCtext = PCtext;

    QPlainTextEdit* headertxt =
        textBox("headertxt", QStringLiteral("Image Information\n"), central);
    QFont headerFont(QStringLiteral("Courier New"));
    headerFont.setStyleHint(QFont::TypeWriter);
    headerFont.setPointSize(9);
    headertxt->setFont(headerFont);
    headertxt->setLineWrapMode(QPlainTextEdit::NoWrap);
    parts.headertxt = headertxt;

    auto* left = new QVBoxLayout;
    left->addWidget(pictureFrame, 0, Qt::AlignLeft | Qt::AlignTop);
    left->addLayout(pcRow, 1);

    auto* right = new QVBoxLayout;
    right->addWidget(buildFrontPanel(parts));
    right->addWidget(headertxt, 1);

    auto* columns = new QHBoxLayout(central);
    columns->addLayout(left);
    columns->addLayout(right, 1);

    // At a fixed zoom the picture keeps its size in the top left corner and the text boxes
    // take any room the window has beyond it; to fit, the picture takes that room instead.
    connect(pictureArea, &PictureArea::zoomChanged, this, [=, this](Zoom zoom) {
        const bool fit = zoom == Zoom::Fit;
        left->setAlignment(pictureFrame, fit ? Qt::Alignment() : Qt::AlignLeft | Qt::AlignTop);
        left->setStretchFactor(pictureFrame, fit ? 1 : 0);
        left->setStretchFactor(pcRow, fit ? 0 : 1);
        columns->setStretchFactor(left, fit ? 1 : 0);
        columns->setStretchFactor(right, fit ? 0 : 1);
        ui.status->setZoom(zoom);
        if (!fit) growToShowPicture();
    });

    parts.frmcontrast = new ContrastDialog(this);

    parts.progressText = new QLabel(this);
    parts.progressBar = new QProgressBar(this);
    parts.progressBar->setTextVisible(false);
    parts.progressBar->setMaximumWidth(240);
    statusBar()->addPermanentWidget(parts.progressText);
    statusBar()->addPermanentWidget(parts.progressBar);
    parts.progressText->hide();
    parts.progressBar->hide();
    parts.status = new StatusPanel(statusBar(), parts.QTXText, history, this);
    parts.status->setZoom(kStartZoom);
    return parts;
}

MainWindow::~MainWindow() {
    shutDown();
    // The widgets outlive the console (they go with the window's base); nothing they still
    // report while being taken down (a pointer leaving the picture) may reach it.
    ui.Picdata->disconnect(this);
    qtHost.disconnect(this);
    centralWidget()->removeEventFilter(this);
}

// A larger zoom grows the window, as far as the screen allows, rather than hide most of the
// picture behind scroll bars; it never shrinks what the user has chosen.
void MainWindow::growToShowPicture() {
    if (isMaximized() || isFullScreen() || !isVisible()) return;
    // The new picture size climbs the layouts as posted requests; settled now, the window
    // grows with this step rather than with the next one.
    for (int pass = 0; pass < 4; ++pass) {
        QCoreApplication::sendPostedEvents(nullptr, QEvent::LayoutRequest);
    }
    QSize wanted = sizeHint().expandedTo(size());
    if (const QScreen* display = screen()) {
        const QSize frame = frameGeometry().size() - size();
        wanted = wanted.boundedTo(display->availableGeometry().size() - frame);
    }
    resize(wanted.expandedTo(size()));
}

void MainWindow::shutDown() {
    if (linkClosed) return;
    linkClosed = true;
    core.closeLink();
}

void MainWindow::closeEvent(QCloseEvent* event) {
    shutDown();
    event->accept();
}

// Moves over the window outside its controls reach the console as the window's own; the
// containers pass them on to the central widget.
void MainWindow::trackFormMoves(QWidget* central) {
    central->setMouseTracking(true);
    for (QWidget* child : central->findChildren<QWidget*>()) {
        const QMetaObject* kind = child->metaObject();
        if (kind == &QWidget::staticMetaObject || kind == &QFrame::staticMetaObject ||
            qobject_cast<QGroupBox*>(child) || qobject_cast<QLabel*>(child)) {
            child->setMouseTracking(true);
        }
    }
    central->installEventFilter(this);
}

bool MainWindow::eventFilter(QObject* watched, QEvent* event) {
    if (watched == centralWidget() && event->type() == QEvent::MouseMove) {
        const auto* move = static_cast<QMouseEvent*>(event);
        core.Form_MouseMove(buttonMask(move->buttons()), shiftMask(move->modifiers()),
                            move->position().x(), move->position().y());
    }
    return QMainWindow::eventFilter(watched, event);
}

}  // namespace qtx
