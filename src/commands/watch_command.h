// scenario-builder watch: compiles a line and its trains, writes the
// compiled set and each train's page, then does it again whenever one of
// the description files changes. With --serve a small server on this
// machine hands out the page, and the page loads itself again after each
// build.
#pragma once

#include <string>

#include "commands/commands.h"

namespace sb {

struct WatchOptions {
  CompileOptions compile;  // the line, the trains, --route, --out, --no-plan
  std::string page;        // -o PAGE (one train only); empty: ROUTE_TRAIN.html in --out
  std::string serve;       // [ADDRESS:]PORT; empty: no server
};

inline constexpr const char* kWatchFooter = R"(Each build prints one line when it starts and one when it ends:
  building FILES | rebuilding after a change to FILES
  built in N ms: E errors, W warnings
  failed: E errors; previous outputs kept
A failed build leaves the compiled files as they were; the page shows its
diagnostics all the same.
--serve [ADDRESS:]PORT serves the page at http://ADDRESS:PORT/ (ADDRESS
127.0.0.1 unless given; PORT 0 takes a free port) and the page reloads
itself after each build. It hands out the page and its event stream only.
Ctrl-C or SIGTERM stops watching (status 0).)";

int run_watch(WatchOptions options);

// "[ADDRESS:]PORT" of --serve: an IPv4 address (127.0.0.1 when left out,
// or given as localhost)
// and a port 0 to 65535. Returns an explanation when it is not one.
std::string parse_serve_address(const std::string& text, std::string& address, int& port);

}  // namespace sb
