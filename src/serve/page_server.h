// The page server of `watch --serve`: one page file at `/` and, at
// `/events`, an event stream that announces each new build of it; nothing
// else. One thread serves every connection from one poll loop, so an event
// stream, a slow client or an idle connection never holds what the page
// needs; what each connection may cost is bounded (see ServerLimits).
#pragma once

#include <chrono>
#include <cstddef>
#include <memory>
#include <string>
#include <vector>

namespace sb::serve {

struct ServerLimits {
  // Connections open at once. A new one beyond them takes the place of the
  // oldest connection that has not finished sending a request; when none
  // has, the new one is closed.
  std::size_t connections = 256;
  // Event streams open at once; one more is answered 503.
  std::size_t streams = 32;
  // The request line and the headers together; more is answered 431.
  std::size_t head_bytes = 16 * 1024;
  // From a connection's start (or the end of its previous response) to the
  // end of its request's headers; a connection that takes longer, idle or
  // not, is closed.
  std::chrono::milliseconds head_deadline{5000};
  // A response that makes no progress for this long is given up.
  std::chrono::milliseconds write_deadline{10000};
  // A comment on every event stream this often, so that a client gone
  // without a word is noticed when the write fails.
  std::chrono::milliseconds heartbeat{2000};
  // Event text a stream's client may leave unread before it is closed.
  std::size_t stream_backlog = 64 * 1024;
};

// What the machine is called: its name and its IPv4 addresses.
struct MachineNames {
  std::string name;
  std::vector<std::string> addresses;
};
MachineNames machine_names();

// Whether `host`, a request's Host header in lower case, names a server
// bound to ADDRESS:PORT on the machine `machine`: the address itself; for a
// loopback address or every address (0.0.0.0), localhost and 127.0.0.1;
// beyond loopback, the machine's name; bound to every address, each address
// of the machine. Always with the port. A page elsewhere reaches this
// server only under a name of its own, which is none of these.
bool names_this_server(const std::string& host, const std::string& address, int port, const MachineNames& machine);

class PageServer {
 public:
  explicit PageServer(std::string page_file, ServerLimits limits = {});
  ~PageServer();
  PageServer(const PageServer&) = delete;
  PageServer& operator=(const PageServer&) = delete;

  // Listens on ADDRESS:PORT (an IPv4 address; port 0 takes a free one).
  // Returns "" or why it cannot.
  std::string listen(const std::string& address, int port);
  int port() const { return port_; }

  // Serves until `input` ends or `stop` becomes readable. Each line read
  // from `input` is the number of the build the page file now shows.
  void serve(int input, int stop);

  struct Connection;

 private:
  bool host_accepted(const std::string& host) const;
  // Takes the connections waiting; false when descriptors ran out.
  bool accept_new();
  void on_readable(Connection& c);
  void on_writable(Connection& c);
  void answer(Connection& c);
  void respond(Connection& c, int status, const std::string& type, std::shared_ptr<const std::string> body,
               bool head_only, bool keep_alive);
  void refuse(Connection& c, int status, const char* why);
  void open_stream(Connection& c, bool head_only);
  void announce(long long build);
  void close_connection(Connection& c);
  bool read_input(int input);
  std::shared_ptr<const std::string> current_page();

  std::string page_file_;
  ServerLimits limits_;
  int listener_ = -1;
  int port_ = 0;
  std::string address_;
  std::vector<std::unique_ptr<Connection>> connections_;
  std::size_t streams_ = 0;
  unsigned long long serial_ = 0;
  long long build_ = 0;
  std::string input_pending_;
  // The page as last read, and what it was read from.
  std::shared_ptr<const std::string> page_;
  std::string page_identity_;
};

}  // namespace sb::serve
