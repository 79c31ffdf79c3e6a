// The controls and menus of the main window, by name and caption, and the small pieces
// of the window that the console drives: the contrast dialog, the picture, the progress.
#include <gtest/gtest.h>

#include <QAction>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QMenuBar>
#include <QMouseEvent>
#include <QPlainTextEdit>
#include <QProgressBar>
#include <QPushButton>
#include <QSerialPort>
#include <QTimer>
#include <memory>

#include "contrast_dialog.hpp"
#include "histogram_view.hpp"
#include "main_window.hpp"
#include "picture_view.hpp"
#include "ui_support.hpp"

namespace qtx::test {
namespace {

class WindowTest : public ::testing::Test {
  protected:
    void SetUp() override {
        window = std::make_unique<MainWindow>(
            PortMap{QStringLiteral("/nonexistent/com1"), QStringLiteral("/nonexistent/com2")});
    }
    template <class T>
    T* child(const char* name) const {
        return window->findChild<T*>(QString::fromLatin1(name));
    }
    std::unique_ptr<MainWindow> window;
};

TEST_F(WindowTest, MenuTreeHasEveryEntryInOrder) {
    // Menu, then each of its entries in order: control name and caption, "-" a separator.
    const struct {
        const char* menu;
        const char* caption;
        std::vector<std::pair<const char*, const char*>> entries;
    } menus[] = {
        {"mnufileio",
         "File I/O",
         {{"mnuload", "Load QTX  Frame from Disk"},
          {"mnudummy", "-"},
          {"mnuCompSave", "Save QTX Frame to Disk in KELM Format"},
          {"mnubitmap", "Save Displayed Image in Bitmap Format"},
          {"mnudummy2", "-"},
          {"mnuautosave", "Receive and Automatically Save Images"},
          {"mnudummy3", "-"},
          {"mnuexit", "Exit"},
          {"mnudummy4", "-"},
          {"mnufits", "Export Image as FITS..."}}},
        {"mnudownload",
         "Download",
         {{"mnudownloadlight", "Download Screen Image"},
          {"mnuflashdownload", "Download All"},
          {"mnuabort", "Abort Download All"}}},
        {"mnulink",
         "Link",
         {{"mnubaud", "Set Baud Rate"},
          {"mnuestablishlink1", "Establish Link (COM1)"},
          {"mnuestablishlink2", "Establish Link (COM2)"},
          {"mnulinkdummy", "-"},
          {"mnuchooseport", "Choose Serial Port..."}}},
        {"mnubaud",
         "Set Baud Rate",
         {{"mnu19200", "19200 Baud"},
          {"mnu38400", "38400 Baud"},
          {"mnu57600", "57600 Baud"},
          {"mnu115200", "115200 Baud"}}},
        {"mnudisplay",
         "Display",
         {{"mnucontrast", "Adjust Contrast"}, {"mnuautocontrast", "Auto Contrast"}}},
        {"mnuprocess", "Process", {{"mnuflatfield", "Flat Field"}}},
        {"mnuedit",
         "Edit Data",
         {{"mnunote", "Note"},
          {"mnufocallength", "Focal Length"},
          {"mnuaperturedia", "Aperture Diameter"},
          {"mnuunits", "Units"}}},
        {"mnuunits", "Units", {{"mnuinches", "Inches"}, {"mnucentimeters", "Centimeters"}}},
        {"mnuUpload", "Upload", {{"mnuUploadFile", "Upload New QTX Code"}}},
    };
    for (const auto& m : menus) {
        SCOPED_TRACE(m.menu);
        const QMenu* menu = child<QMenu>(m.menu);
        ASSERT_NE(menu, nullptr);
        EXPECT_EQ(menu->title(), QString::fromLatin1(m.caption));
        const QList<QAction*> actions = menu->actions();
        ASSERT_EQ(actions.size(), static_cast<qsizetype>(m.entries.size()));
        for (std::size_t i = 0; i < m.entries.size(); ++i) {
            const auto& [name, caption] = m.entries[i];
            SCOPED_TRACE(name);
            const QAction* a = actions[static_cast<qsizetype>(i)];
            // A submenu's entry is the submenu itself.
            const QString actual = a->menu() ? a->menu()->objectName() : a->objectName();
            EXPECT_EQ(actual, QString::fromLatin1(name));
            if (std::string_view(caption) == "-") {
                EXPECT_TRUE(a->isSeparator());
            } else {
                EXPECT_FALSE(a->isSeparator());
                EXPECT_EQ(a->text(), QString::fromLatin1(caption));
            }
            EXPECT_TRUE(a->isEnabled());
            EXPECT_TRUE(a->isVisible());
            EXPECT_FALSE(a->isCheckable());
        }
    }
    QStringList bar;
    for (const QAction* a : window->menuBar()->actions()) bar << a->menu()->objectName();
    EXPECT_EQ(bar, QStringList({"mnufileio", "mnudownload", "mnulink", "mnudisplay", "mnuprocess",
                                "mnuedit", "mnuUpload"}));
}

TEST_F(WindowTest, ContrastDialogReturnsTextsOnlyFromDone) {
    auto* dialog = child<ContrastDialog>("frmcontrast");
    ASSERT_NE(dialog, nullptr);
    EXPECT_EQ(dialog->windowTitle(), "Adjust Background and Range");
    auto* background = dialog->findChild<QLineEdit*>("txtbackground");
    auto* range = dialog->findChild<QLineEdit*>("txtrange");
    auto* done = dialog->findChild<QPushButton*>("cmddone");
    ASSERT_TRUE(background && range && done);
    EXPECT_EQ(dialog->findChild<QLabel*>("Lblbackground")->text(), "Enter Background:");
    EXPECT_EQ(dialog->findChild<QLabel*>("lblrange")->text(), "Enter Range:");
    EXPECT_EQ(done->text(), "Done");

    // The histogram marks what the boxes hold as it changes, and nothing while one is no level.
    auto* histogram = dialog->findChild<HistogramView*>("histogram");
    ASSERT_NE(histogram, nullptr);
    QString shownBackground, shownRange;
    std::vector<std::optional<ContrastMarks>> marks;
    QTimer::singleShot(0, dialog, [&] {
        shownBackground = background->text();
        shownRange = range->text();
        marks.push_back(histogram->marks());
        range->setText(QStringLiteral("3 000"));
        marks.push_back(histogram->marks());
        background->setText(QStringLiteral("-200"));
        range->setText(QStringLiteral("3000"));
        marks.push_back(histogram->marks());
        done->click();
    });
    const ContrastTexts typed = window->host().runContrastDialog({" 884", " 128"}, {});
    EXPECT_EQ(marks, (std::vector<std::optional<ContrastMarks>>{
                         ContrastMarks{884, 1012}, std::nullopt, ContrastMarks{-200, 2800}}));
    EXPECT_EQ(shownBackground, " 884");
    EXPECT_EQ(shownRange, " 128");
    EXPECT_EQ(typed.background, "-200");
    EXPECT_EQ(typed.range, "3000");
    EXPECT_FALSE(dialog->isVisible());

    // Closing it with the window's close button throws away what was typed.
    QTimer::singleShot(0, dialog, [&] {
        background->setText(QStringLiteral("5"));
        dialog->close();
    });
    const ContrastTexts closed = window->host().runContrastDialog({" 1", " 2"}, {});
    EXPECT_EQ(closed.background, "");
    EXPECT_EQ(closed.range, "");
}

TEST(PictureViewTest, ReportsPicturePixelsAndTakesBitsLineByLine) {
    PictureView view(2);
    std::vector<std::array<double, 4>> moves;
    QObject::connect(
        &view, &PictureView::pointerMoved, [&](int button, int shift, double x, double y) {
            moves.push_back({static_cast<double>(button), static_cast<double>(shift), x, y});
        });
    const struct {
        QPointF at;
        Qt::MouseButtons buttons;
        Qt::KeyboardModifiers modifiers;
        std::array<double, 4> expected;
    } cases[] = {
        {{0, 0}, Qt::NoButton, Qt::NoModifier, {0, 0, 0, 0}},
        {{121, 41}, Qt::LeftButton, Qt::ShiftModifier, {1, 1, 60, 20}},
        {{120.5, 41.9}, Qt::RightButton, Qt::ControlModifier, {2, 2, 60, 20}},
        {{639, 399}, Qt::MiddleButton, Qt::AltModifier, {4, 4, 319, 199}},
    };
    for (const auto& c : cases) {
        QMouseEvent move(QEvent::MouseMove, c.at, view.mapToGlobal(c.at), Qt::NoButton, c.buttons,
                         c.modifiers);
        QCoreApplication::sendEvent(&view, &move);
        ASSERT_FALSE(moves.empty());
        EXPECT_EQ(moves.back(), c.expected);
    }

    EXPECT_EQ(view.geometryOfBits().bytesPerLine, 1280);
    EXPECT_EQ(view.geometryOfBits().scanLines, 200);
    EXPECT_EQ(view.geometryOfBits().bitsPerPixel, 32);
    // Line 1 grey 0x40 at pixel 2, everything else of the first two lines 0x10; the buffer
    // stops there, so the lines below keep their black.
    std::vector<std::uint8_t> bits(2 * 1280, 0x10);
    std::fill_n(bits.begin() + 1280 + 8, 4, 0x40);
    view.setBits(bits);
    EXPECT_EQ(view.image().pixel(2, 1), qRgb(0x40, 0x40, 0x40));
    EXPECT_EQ(view.image().pixel(319, 0), qRgb(0x10, 0x10, 0x10));
    EXPECT_EQ(view.image().pixel(0, 2), qRgb(0, 0, 0));
    view.setPixel(5, 199, Colour{1, 2, 3});
    view.setPixel(320, 0, Colour{9, 9, 9});  // off the surface: ignored
    EXPECT_EQ(view.image().pixel(5, 199), qRgb(1, 2, 3));
}

TEST_F(WindowTest, ProbeNamesThePixelUnderThePointerAt3x) {
    // A 200 x 100 image sits at surface (60, 50); image pixel (12, 34) is surface (71, 83),
    // the screen square 213..215 x 249..251 at 3x.
    Console& console = window->console();
    console.record.imagedata.resize(200, 100);
    console.record.imagedata.at(12, 34) = 1530;
    console.record.imagedata.at(13, 34) = 7;
    console.record.imagewidth = 200;
    console.record.imageheight = 100;
    console.record.background = 0;
    console.record.range = 2000;
    console.showimage();
    window->findChild<QAction*>("zoomIn")->trigger();
    auto* picture = child<PictureView>("Picdata");
    ASSERT_EQ(picture->zoom(), 3);

    const auto probe = [&](QPointF at) {
        QMouseEvent move(QEvent::MouseMove, at, picture->mapToGlobal(at), Qt::NoButton,
                         Qt::NoButton, Qt::NoModifier);
        QCoreApplication::sendEvent(picture, &move);
        return child<QPlainTextEdit>("PCtext")->toPlainText();
    };
    EXPECT_EQ(probe({213, 249}), "Pixel position ( 12,  34) =  1530");
    EXPECT_EQ(probe({215.9, 251.9}), "Pixel position ( 12,  34) =  1530");
    EXPECT_EQ(probe({216, 249}), "Pixel position ( 13,  34) =  7");
    // Drawn as whole squares: the three screen pixels of one picture pixel alike.
    const QImage shown = picture->grab().toImage();
    EXPECT_EQ(shown.pixel(213, 249), shown.pixel(215, 251));
    EXPECT_NE(shown.pixel(215, 249), shown.pixel(216, 249));
}

TEST_F(WindowTest, ProgressShowsRowsRepeatsAndTimeLeft) {
    auto* bar = window->findChild<QProgressBar*>();
    ASSERT_NE(bar, nullptr);
    window->show();
    EXPECT_FALSE(bar->isVisible());
    QtHost& host = window->host();
    host.showProgress(Progress{Progress::Kind::Rows, 0, 200, 0, 5, 2, 7});
    EXPECT_TRUE(bar->isVisible());
    EXPECT_EQ(bar->maximum(), 200);
    QElapsedTimer clock;
    clock.start();
    pumpUntil([&] { return clock.elapsed() >= 20; });
    host.showProgress(Progress{Progress::Kind::Rows, 50, 200, 2, 5, 2, 7});
    EXPECT_EQ(bar->value(), 50);
    QString shown;
    for (const QLabel* label : window->findChildren<QLabel*>()) {
        if (label->text().startsWith("Buffer ")) shown = label->text();
    }
    EXPECT_TRUE(shown.startsWith("Buffer 5, image 2 of 7: row 50 of 200, 2 repeated, about "))
        << shown.toStdString();
    EXPECT_TRUE(shown.endsWith(" s left")) << shown.toStdString();
    host.hideProgress();
    EXPECT_FALSE(bar->isVisible());
}

}  // namespace
}  // namespace qtx::test
