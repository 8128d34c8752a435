// One executable: `quorimeter count ...` counts from the command line.
#include <unistd.h>

#include <QCoreApplication>
#include <iostream>
#include <string>
#include <vector>

#include "cli/qrmt_cli.h"

int main(int argc, char** argv) {
  std::ios::sync_with_stdio(false);
  QCoreApplication::setOrganizationName("Kestrune Software");
  QCoreApplication::setApplicationName("Quorimeter");
  std::vector<std::string> args(argv + 1, argv + argc);
  if (!args.empty() && (args[0] == "count" || args[0] == "formats")) {
    // No display needed: a core application gives the program's paths.
    QCoreApplication app(argc, argv);
    const std::string command = args[0];
    args.erase(args.begin());
    qrmt::TCliStreams io{std::cout, std::cerr, isatty(1) != 0, isatty(2) != 0};
    return command == "count" ? qrmt::RunCountCommand(args, io) : qrmt::RunFormatsCommand(args, io);
  }
  if (args.size() == 1 && args[0] == "--version") {
    std::cout << qrmt::ProgramVersionText << "\n";
    return qrmt::ecOk;
  }
  if (args.size() == 1 && (args[0] == "--help" || args[0] == "-h")) {
    std::cout << qrmt::ProgramUsage();
    return qrmt::ecOk;
  }
  if (args.empty()) {
    std::cout << qrmt::ProgramUsage();
    return qrmt::ecOk;
  }
  std::cerr << "quorimeter: unknown command '" << args[0] << "'\n" << qrmt::ProgramUsage();
  return qrmt::ecUsage;
}
