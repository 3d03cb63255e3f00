// scenario-builder-serve: the page server of `scenario-builder watch
// --serve` (src/serve/page_server.h says what it serves and refuses).
//
//   scenario-builder-serve ADDRESS PORT PAGE_FILE
//
// Once it listens it prints "listening PORT" on standard output. Each line
// on standard input is the number of the build the page file now shows;
// the end of standard input, SIGINT or SIGTERM stop it.
#include <signal.h>
#include <sys/signalfd.h>

#include <cstdlib>
#include <iostream>
#include <string>

#include "serve/page_server.h"

int main(int argc, char** argv) {
  if (argc != 4) {
    std::cerr << "usage: scenario-builder-serve ADDRESS PORT PAGE_FILE (started by scenario-builder watch --serve)\n";
    return 2;
  }
  const std::string address = argv[1];
  const int wanted_port = std::atoi(argv[2]);

  // The stop signals come as readable data, between two requests.
  sigset_t stop_signals;
  sigemptyset(&stop_signals);
  sigaddset(&stop_signals, SIGINT);
  sigaddset(&stop_signals, SIGTERM);
  sigprocmask(SIG_BLOCK, &stop_signals, nullptr);
  signal(SIGPIPE, SIG_IGN);
  const int stop = signalfd(-1, &stop_signals, SFD_CLOEXEC);
  if (stop < 0) {
    std::cerr << "scenario-builder: error: the page server cannot take signals\n";
    return 4;
  }

  sb::serve::PageServer server(argv[3]);
  const std::string problem = server.listen(address, wanted_port);
  if (!problem.empty()) {
    std::cerr << "scenario-builder: error: cannot listen on " << address << ":" << wanted_port << ": " << problem
              << "\n";
    return 4;
  }
  std::cout << "listening " << server.port() << std::endl;
  server.serve(0, stop);
  return 0;
}
