// qtx-console: the QTX remote console.
#include <QApplication>
#include <QFile>
#include <QTimer>
#include <cstdio>
#include <string_view>

#include "main_window.hpp"
#include "options.hpp"
#include "port_choice.hpp"
#include "termination.hpp"

namespace {

void name(QCoreApplication& app) {
    app.setOrganizationName(QStringLiteral("qtx"));
    app.setApplicationName(QStringLiteral("qtx-console"));
    app.setApplicationVersion(QStringLiteral("1.15"));
}

// Help and version need no display: answer them before the window system is opened, so
// that they also work in a terminal without one.
void answerHelpWithoutDisplay(int argc, char* argv[]) {
    for (int i = 1; i < argc; ++i) {
        const std::string_view arg = argv[i];
        if (arg == "-h" || arg == "--help" || arg == "-?" || arg == "-v" || arg == "--version") {
            QCoreApplication probe(argc, argv);
            name(probe);
            QCommandLineParser parser;
            qtx::addOptions(parser);
            parser.process(probe);  // prints and exits
            return;
        }
    }
}

}  // namespace

int main(int argc, char* argv[]) {
    answerHelpWithoutDisplay(argc, argv);
    QApplication app(argc, argv);
    name(app);

    QCommandLineParser parser;
    qtx::addOptions(parser);
    parser.process(app);
    // The ports chosen in an earlier run, unless the command line names others.
    const qtx::Options options = qtx::readOptions(parser, qtx::rememberedPorts(QSettings{}));
    // Created before the window, whose load procedure already speaks to the QTX.
    qtx::TrafficLog log;
    if (!options.log.isEmpty()) {
        const std::string problem = log.create(QFile::encodeName(options.log).toStdString());
        if (!problem.empty()) {
            std::fprintf(stderr, "qtx-console: %s\n", problem.c_str());
            return 1;
        }
    }
    qtx::TerminationWatcher termination;
    qtx::MainWindow window(options.ports, nullptr, log.isOpen() ? &log : nullptr);
    QObject::connect(&termination, &qtx::TerminationWatcher::terminationRequested, &window,
                     &QWidget::close);
    window.show();

    int status = 0;
    if (!options.screenshot.isEmpty()) {
        QTimer::singleShot(options.screenshotDelayMs, &window, [&] {
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
