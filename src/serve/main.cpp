// scenario-builder-serve: the page server of `scenario-builder watch
// --serve`, a program of its own so that scenario-builder stays one static
// executable. It serves one page file and an event stream that announces
// each new build of it, and nothing else: no other path, no listing, no
// method but GET and HEAD, no request whose Host header names another
// server (a page elsewhere cannot reach it through a name that resolves
// here).
//
//   scenario-builder-serve ADDRESS PORT PAGE_FILE
//
// Once it listens it prints "listening PORT" on standard output. Each line
// on standard input is the number of the build the page file now shows;
// the end of standard input, SIGINT or SIGTERM stop it.
#include <httplib.h>
#include <signal.h>
#include <unistd.h>

#include <chrono>
#include <condition_variable>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <iostream>
#include <memory>
#include <mutex>
#include <set>
#include <sstream>
#include <string>
#include <thread>

namespace {

// The build the page shows, and whether the server is stopping; the event
// streams wait on it.
struct Builds {
  std::mutex mutex;
  std::condition_variable changed;
  long long number = 0;
  bool stopping = false;

  void announce(long long build) {
    {
      std::lock_guard<std::mutex> lock(mutex);
      number = build;
    }
    changed.notify_all();
  }
  void stop() {
    {
      std::lock_guard<std::mutex> lock(mutex);
      stopping = true;
    }
    changed.notify_all();
  }
};

std::string read_page(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  std::ostringstream bytes;
  bytes << in.rdbuf();
  return bytes.str();
}

// Names this server may go by: the address it is bound to and, for a
// loopback address, localhost; each with the port.
std::set<std::string> accepted_hosts(const std::string& address, int port) {
  std::string p = ":";
  p += std::to_string(port);
  std::set<std::string> hosts = {address + p};
  if (address.rfind("127.", 0) == 0 || address == "0.0.0.0") {
    hosts.insert("localhost" + p);
    hosts.insert("127.0.0.1" + p);
  }
  return hosts;
}

void refuse(httplib::Response& res, int status, const char* why) {
  res.status = status;
  res.set_content(why, "text/plain; charset=utf-8");
}

// An event stream: the current build at once, then every later one; a
// comment now and then shows a closed connection.
void stream_builds(Builds& builds, httplib::Response& res) {
  auto sent = std::make_shared<long long>(-1);
  res.set_header("Cache-Control", "no-store");
  res.set_chunked_content_provider("text/event-stream", [&builds, sent](std::size_t, httplib::DataSink& sink) {
    std::unique_lock<std::mutex> lock(builds.mutex);
    const bool news = builds.changed.wait_for(lock, std::chrono::seconds(15),
                                              [&] { return builds.stopping || builds.number != *sent; });
    if (builds.stopping) {
      sink.done();
      return false;
    }
    std::string text = ": still here\n\n";
    if (news) {
      *sent = builds.number;
      text = "event: build\ndata: " + std::to_string(*sent) + "\n\n";
    }
    lock.unlock();
    return sink.write(text.data(), text.size());
  });
}

}  // namespace

int main(int argc, char** argv) {
  if (argc != 4) {
    std::cerr << "usage: scenario-builder-serve ADDRESS PORT PAGE_FILE (started by scenario-builder watch --serve)\n";
    return 2;
  }
  const std::string address = argv[1];
  const int wanted_port = std::atoi(argv[2]);
  const std::string page = argv[3];

  // The signals are taken by a thread of their own, and only there.
  sigset_t stop_signals;
  sigemptyset(&stop_signals);
  sigaddset(&stop_signals, SIGINT);
  sigaddset(&stop_signals, SIGTERM);
  pthread_sigmask(SIG_BLOCK, &stop_signals, nullptr);
  signal(SIGPIPE, SIG_IGN);

  Builds builds;
  httplib::Server server;
  server.set_keep_alive_timeout(1);
  const int port = wanted_port == 0 ? server.bind_to_any_port(address) : wanted_port;
  if (port < 0 || (wanted_port != 0 && !server.bind_to_port(address, port))) {
    std::cerr << "scenario-builder: error: cannot listen on " << address << ":" << wanted_port
              << " (in use, or not an address of this machine)\n";
    return 4;
  }
  const std::set<std::string> hosts = accepted_hosts(address, port);
  server.set_pre_routing_handler([&hosts](const httplib::Request& req, httplib::Response& res) {
    if (hosts.count(req.get_header_value("Host")) == 0) {
      refuse(res, 403, "refused: the Host header does not name this server\n");
      return httplib::Server::HandlerResponse::Handled;
    }
    if (req.method != "GET" && req.method != "HEAD") {
      refuse(res, 405, "refused: this server only hands out its page\n");
      return httplib::Server::HandlerResponse::Handled;
    }
    return httplib::Server::HandlerResponse::Unhandled;
  });
  server.Get("/", [&page](const httplib::Request&, httplib::Response& res) {
    res.set_header("Cache-Control", "no-store");
    res.set_header("X-Content-Type-Options", "nosniff");
    res.set_content(read_page(page), "text/html; charset=utf-8");
  });
  server.Get("/events", [&builds](const httplib::Request&, httplib::Response& res) { stream_builds(builds, res); });
  server.set_error_handler([](const httplib::Request&, httplib::Response& res) {
    if (res.status == 404) refuse(res, 404, "not found: this server hands out its page (/) and nothing else\n");
  });

  // A stop that comes before the server runs waits for it to run.
  auto stop = [&] {
    builds.stop();
    for (int i = 0; i < 200 && !server.is_running(); ++i) std::this_thread::sleep_for(std::chrono::milliseconds(10));
    server.stop();
  };
  std::thread([&] {
    int signal_number = 0;
    sigwait(&stop_signals, &signal_number);
    stop();
  }).detach();
  std::thread([&] {
    std::string line;
    while (std::getline(std::cin, line)) builds.announce(std::atoll(line.c_str()));
    stop();
  }).detach();

  std::cout << "listening " << port << std::endl;
  server.listen_after_bind();
  // The threads that wait for a signal and for input are not joined.
  std::cout.flush();
  std::_Exit(0);
}
