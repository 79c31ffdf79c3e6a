// qtx: the QTX console on the command line.
#include <csignal>

#include "command_line.hpp"

int main(int argc, char* argv[]) {
    // A reader that goes away (`qtx download ... | head -1`) must not end a transfer halfway
    // with the QTX under remote control: writes then fail, and the job runs to its end.
    std::signal(SIGPIPE, SIG_IGN);
    return qtx::cli::runCommandLine(argc, argv);
}
