// qtx-console: the QTX remote console.
#include <QApplication>
#include <QTimer>
#include <cstdio>

#include "main_window.hpp"
#include "options.hpp"
#include "termination.hpp"

int main(int argc, char* argv[]) {
    QApplication app(argc, argv);
    QApplication::setApplicationName(QStringLiteral("qtx-console"));
    QApplication::setApplicationVersion(QStringLiteral("1.15"));

    QCommandLineParser parser;
    qtx::addOptions(parser);
    parser.process(app);
    const qtx::Options options = qtx::readOptions(parser);

    qtx::TerminationWatcher termination;
    qtx::MainWindow window(options.ports);
    QObject::connect(&termination, &qtx::TerminationWatcher::terminationRequested, &window,
                     &QWidget::close);
    window.show();

    int status = 0;
    if (!options.screenshot.isEmpty()) {
        QTimer::singleShot(300, &window, [&] {
            if (!window.grab().save(options.screenshot)) {
                std::fprintf(stderr, "qtx-console: could not write %s\n",
                             qPrintable(options.screenshot));
                status = 1;
            }
            window.close();
        });
    }
    const int result = app.exec();
    return status != 0 ? status : result;
}
