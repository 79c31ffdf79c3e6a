// qtx: the QTX console on the command line.
#include "command_line.hpp"

int main(int argc, char* argv[]) { return qtx::cli::runCommandLine(argc, argv); }
