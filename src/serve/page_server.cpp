#include "serve/page_server.h"

#include <arpa/inet.h>
#include <ifaddrs.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <poll.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/uio.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <sstream>
#include <string_view>

namespace sb::serve {
namespace {

using Clock = std::chrono::steady_clock;

// How long a closed response waits for the client's last bytes (so that
// closing does not reset what was sent), and how many it reads meanwhile.
constexpr std::chrono::milliseconds kLinger{1000};
constexpr std::size_t kLingerBytes = 256 * 1024;
// After a failed accept for want of descriptors, accepting rests this long.
constexpr std::chrono::milliseconds kAcceptRest{100};

// Headers of every response: never cached, never sniffed, never in a frame.
constexpr std::string_view kCommonHeaders =
    "Cache-Control: no-store\r\n"
    "X-Content-Type-Options: nosniff\r\n"
    "X-Frame-Options: DENY\r\n"
    "Content-Security-Policy: frame-ancestors 'none'\r\n";

std::string lower(std::string_view text) {
  std::string out(text);
  for (char& c : out) {
    if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
  }
  return out;
}

std::string_view trimmed(std::string_view text) {
  while (!text.empty() && (text.front() == ' ' || text.front() == '\t')) text.remove_prefix(1);
  while (!text.empty() && (text.back() == ' ' || text.back() == '\t')) text.remove_suffix(1);
  return text;
}

bool is_token(std::string_view text) {
  if (text.empty()) return false;
  for (const char c : text) {
    const bool alnum = (c >= '0' && c <= '9') || (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z');
    if (!alnum && std::string_view("!#$%&'*+-.^_`|~").find(c) == std::string_view::npos) return false;
  }
  return true;
}

bool has_control(std::string_view text) {
  return std::any_of(text.begin(), text.end(), [](char c) {
    const auto u = static_cast<unsigned char>(c);
    return (u < 0x20 && c != '\t') || u == 0x7f;
  });
}

const char* reason(int status) {
  switch (status) {
    case 200: return "OK";
    case 400: return "Bad Request";
    case 403: return "Forbidden";
    case 404: return "Not Found";
    case 405: return "Method Not Allowed";
    case 408: return "Request Timeout";
    case 431: return "Request Header Fields Too Large";
    case 503: return "Service Unavailable";
    default: return "Internal Server Error";
  }
}

struct Request {
  std::string method;
  std::string path;  // the target without its query
  bool http11 = false;
  std::string host;
  bool has_host = false;
  std::string origin;
  bool has_origin = false;
  bool close = false;  // Connection: close
  bool body = false;   // a Content-Length other than 0, or a Transfer-Encoding
  std::string problem;
};

// A request's head, the empty line that ends it left out.
Request parse_head(std::string_view head) {
  Request r;
  std::size_t at = head.find('\n');
  std::string_view line = head.substr(0, at);
  if (!line.empty() && line.back() == '\r') line.remove_suffix(1);
  const std::size_t first = line.find(' ');
  const std::size_t second = first == std::string_view::npos ? first : line.find(' ', first + 1);
  if (second == std::string_view::npos || line.find(' ', second + 1) != std::string_view::npos || has_control(line)) {
    r.problem = "the request line is not METHOD TARGET HTTP/1.x";
    return r;
  }
  r.method = line.substr(0, first);
  const std::string_view target = line.substr(first + 1, second - first - 1);
  const std::string_view version = line.substr(second + 1);
  if (!is_token(r.method) || target.empty() || (version != "HTTP/1.1" && version != "HTTP/1.0")) {
    r.problem = "the request line is not METHOD TARGET HTTP/1.x";
    return r;
  }
  r.path = target.substr(0, target.find('?'));
  r.http11 = version == "HTTP/1.1";
  while (at != std::string_view::npos) {
    const std::size_t start = at + 1;
    at = head.find('\n', start);
    line = head.substr(start, at == std::string_view::npos ? std::string_view::npos : at - start);
    if (!line.empty() && line.back() == '\r') line.remove_suffix(1);
    if (line.empty()) break;
    const std::size_t colon = line.find(':');
    if (colon == std::string_view::npos || !is_token(line.substr(0, colon)) || has_control(line)) {
      r.problem = "a header line is not NAME: VALUE";
      return r;
    }
    const std::string name = lower(line.substr(0, colon));
    const std::string_view value = trimmed(line.substr(colon + 1));
    if (name == "host") {
      if (r.has_host) {
        r.problem = "two Host headers";
        return r;
      }
      r.has_host = true;
      r.host = lower(value);
    } else if (name == "origin") {
      r.has_origin = true;
      r.origin = lower(value);
    } else if (name == "connection") {
      const std::string tokens = lower(value);
      std::istringstream words(tokens);
      for (std::string word; std::getline(words, word, ',');) {
        if (trimmed(word) == "close") r.close = true;
      }
    } else if (name == "content-length") {
      if (value != "0") r.body = true;
    } else if (name == "transfer-encoding") {
      r.body = true;
    }
  }
  return r;
}

// The end of the request head that `in` starts with (after the empty line),
// and where the request line starts; 0 while the head is not complete.
std::size_t head_end(const std::string& in, std::size_t& start) {
  start = 0;
  while (start < in.size() && (in[start] == '\r' || in[start] == '\n')) ++start;
  std::size_t at = start;
  for (;;) {
    const std::size_t newline = in.find('\n', at);
    if (newline == std::string::npos) return 0;
    const std::size_t length = newline - at;
    if (at > start && (length == 0 || (length == 1 && in[at] == '\r'))) return newline + 1;
    at = newline + 1;
  }
}

bool would_block(int error) { return error == EAGAIN || error == EWOULDBLOCK || error == EINTR; }

}  // namespace

struct PageServer::Connection {
  enum class State { request, response, stream, closing };
  int fd = -1;
  State state = State::request;
  unsigned long long serial = 0;
  std::string in;      // received, not yet answered
  bool ready = false;  // `in` may hold a whole request
  std::string out;     // to send: a response's head, or event text
  std::size_t out_at = 0;
  std::shared_ptr<const std::string> body;  // to send after `out`
  std::size_t body_at = 0;
  bool keep_alive = false;
  Clock::time_point deadline;
  Clock::time_point beat;
  long long sent = -1;  // the build a stream last announced
  std::size_t drained = 0;
};

PageServer::PageServer(std::string page_file, ServerLimits limits)
    : page_file_(std::move(page_file)), limits_(limits) {}

PageServer::~PageServer() {
  for (auto& c : connections_) {
    if (c->fd >= 0) ::close(c->fd);
  }
  if (listener_ >= 0) ::close(listener_);
}

std::string PageServer::listen(const std::string& address, int port) {
  sockaddr_in where{};
  where.sin_family = AF_INET;
  where.sin_port = htons(static_cast<uint16_t>(port));
  if (::inet_pton(AF_INET, address.c_str(), &where.sin_addr) != 1) return address + " is not an IPv4 address";
  listener_ = ::socket(AF_INET, SOCK_STREAM | SOCK_NONBLOCK | SOCK_CLOEXEC, 0);
  if (listener_ < 0) return std::strerror(errno);
  const int yes = 1;
  ::setsockopt(listener_, SOL_SOCKET, SO_REUSEADDR, &yes, sizeof yes);
  if (::bind(listener_, reinterpret_cast<sockaddr*>(&where), sizeof where) != 0 || ::listen(listener_, 512) != 0) {
    return std::strerror(errno);
  }
  socklen_t size = sizeof where;
  ::getsockname(listener_, reinterpret_cast<sockaddr*>(&where), &size);
  port_ = ntohs(where.sin_port);
  address_ = address;
  return "";
}

MachineNames machine_names() {
  MachineNames machine;
  char name[256] = {};
  if (::gethostname(name, sizeof name - 1) == 0) machine.name = lower(name);
  ifaddrs* list = nullptr;
  if (::getifaddrs(&list) != 0) return machine;
  for (const ifaddrs* a = list; a != nullptr; a = a->ifa_next) {
    if (a->ifa_addr == nullptr || a->ifa_addr->sa_family != AF_INET) continue;
    char text[INET_ADDRSTRLEN] = {};
    const auto* in = reinterpret_cast<const sockaddr_in*>(a->ifa_addr);
    if (::inet_ntop(AF_INET, &in->sin_addr, text, sizeof text) != nullptr) machine.addresses.emplace_back(text);
  }
  ::freeifaddrs(list);
  return machine;
}

bool names_this_server(const std::string& host, const std::string& address, int port, const MachineNames& machine) {
  std::string p = ":";
  p += std::to_string(port);
  const bool every = address == "0.0.0.0";
  if (host == address + p) return true;
  if (address.rfind("127.", 0) == 0 || every) {
    if (host == "localhost" + p || host == "127.0.0.1" + p) return true;
  }
  if (address.rfind("127.", 0) == 0) return false;
  if (!machine.name.empty() && host == machine.name + p) return true;
  return every && std::any_of(machine.addresses.begin(), machine.addresses.end(),
                              [&](const std::string& a) { return host == a + p; });
}

bool PageServer::host_accepted(const std::string& host) const {
  // The machine's names are looked up when a request needs them, so that
  // an address the machine gains later counts.
  return names_this_server(host, address_, port_, {}) ||
         (address_.rfind("127.", 0) != 0 && names_this_server(host, address_, port_, machine_names()));
}

std::shared_ptr<const std::string> PageServer::current_page() {
  struct stat st {};
  if (::stat(page_file_.c_str(), &st) != 0 || !S_ISREG(st.st_mode)) return nullptr;
  const std::string identity = std::to_string(st.st_dev) + ":" + std::to_string(st.st_ino) + ":" +
                               std::to_string(st.st_size) + ":" + std::to_string(st.st_mtim.tv_sec) + ":" +
                               std::to_string(st.st_mtim.tv_nsec);
  if (page_ && identity == page_identity_) return page_;
  std::ifstream file(page_file_, std::ios::binary);
  if (!file) return nullptr;
  std::ostringstream bytes;
  bytes << file.rdbuf();
  page_ = std::make_shared<const std::string>(bytes.str());
  page_identity_ = identity;
  return page_;
}

void PageServer::close_connection(Connection& c) {
  if (c.fd < 0) return;
  if (c.state == Connection::State::stream) --streams_;
  ::close(c.fd);
  c.fd = -1;
}

bool PageServer::accept_new() {
  for (;;) {
    const int fd = ::accept4(listener_, nullptr, nullptr, SOCK_NONBLOCK | SOCK_CLOEXEC);
    if (fd < 0) {
      if (errno == EINTR || errno == ECONNABORTED) continue;
      return !(errno == EMFILE || errno == ENFILE || errno == ENOBUFS || errno == ENOMEM);
    }
    const int yes = 1;
    ::setsockopt(fd, IPPROTO_TCP, TCP_NODELAY, &yes, sizeof yes);
    std::size_t open = 0;
    Connection* oldest = nullptr;
    for (auto& c : connections_) {
      if (c->fd < 0) continue;
      ++open;
      // A connection that has not sent a whole request goes first, then one
      // a response is being sent to; an event stream never.
      const auto rank = [](const Connection& x) { return x.state == Connection::State::response ? 1 : 0; };
      if (c->state != Connection::State::stream && (oldest == nullptr || rank(*c) < rank(*oldest) ||
                                                    (rank(*c) == rank(*oldest) && c->serial < oldest->serial))) {
        oldest = c.get();
      }
    }
    if (open >= limits_.connections) {
      if (oldest == nullptr) {
        ::close(fd);
        continue;
      }
      close_connection(*oldest);
    }
    auto c = std::make_unique<Connection>();
    c->fd = fd;
    c->serial = ++serial_;
    c->deadline = Clock::now() + limits_.head_deadline;
    connections_.push_back(std::move(c));
  }
}

void PageServer::respond(Connection& c, int status, const std::string& type, std::shared_ptr<const std::string> body,
                         bool head_only, bool keep_alive) {
  const std::size_t length = body ? body->size() : 0;
  c.out = "HTTP/1.1 " + std::to_string(status) + " " + reason(status) + "\r\nContent-Type: " + type +
          "\r\nContent-Length: " + std::to_string(length) + "\r\n";
  c.out += kCommonHeaders;
  if (status == 405) c.out += "Allow: GET, HEAD\r\n";
  c.out += keep_alive ? "\r\n" : "Connection: close\r\n\r\n";
  c.out_at = 0;
  c.body = head_only ? nullptr : std::move(body);
  c.body_at = 0;
  c.keep_alive = keep_alive;
  c.state = Connection::State::response;
  c.deadline = Clock::now() + limits_.write_deadline;
  on_writable(c);
}

void PageServer::refuse(Connection& c, int status, const char* why) {
  respond(c, status, "text/plain; charset=utf-8", std::make_shared<const std::string>(why), false, false);
}

void PageServer::open_stream(Connection& c, bool head_only) {
  if (head_only) {
    respond(c, 200, "text/event-stream", nullptr, true, false);
    return;
  }
  if (streams_ >= limits_.streams) {
    refuse(c, 503, "refused: too many event streams are open; close a page of this server\n");
    return;
  }
  ++streams_;
  c.state = Connection::State::stream;
  c.out = "HTTP/1.1 200 OK\r\nContent-Type: text/event-stream\r\n";
  c.out += kCommonHeaders;
  c.out += "Connection: close\r\n\r\n";
  c.out += "event: build\ndata: " + std::to_string(build_) + "\n\n";
  c.out_at = 0;
  c.sent = build_;
  c.in.clear();
  c.beat = Clock::now() + limits_.heartbeat;
  on_writable(c);
}

// Answers the request at the start of `c.in` once its head is complete.
void PageServer::answer(Connection& c) {
  c.ready = false;
  std::size_t start = 0;
  const std::size_t end = head_end(c.in, start);
  if (end == 0) {
    if (c.in.size() >= limits_.head_bytes) {
      refuse(c, 431, "refused: the request line and headers are longer than this server reads\n");
    }
    return;
  }
  const Request r = parse_head(std::string_view(c.in).substr(start, end - start));
  c.in.erase(0, end);
  if (!r.problem.empty()) {
    refuse(c, 400, ("refused: " + r.problem + "\n").c_str());
  } else if (!r.has_host || !host_accepted(r.host)) {
    refuse(c, 403, "refused: the Host header does not name this server\n");
  } else if (r.method != "GET" && r.method != "HEAD") {
    refuse(c, 405, "refused: this server only hands out its page\n");
  } else if (r.has_origin && r.origin != "http://" + r.host) {
    refuse(c, 403, "refused: a page of another origin asked\n");
  } else if (r.body) {
    refuse(c, 400, "refused: a request with a body\n");
  } else if (r.path == "/") {
    const auto page = current_page();
    if (!page) {
      refuse(c, 503, "the page is not written yet\n");
      return;
    }
    respond(c, 200, "text/html; charset=utf-8", page, r.method == "HEAD", r.http11 && !r.close);
  } else if (r.path == "/events") {
    open_stream(c, r.method == "HEAD");
  } else {
    refuse(c, 404, "not found: this server hands out its page (/) and nothing else\n");
  }
}

void PageServer::on_readable(Connection& c) {
  char buffer[16 * 1024];
  std::size_t room = sizeof buffer;
  if (c.state == Connection::State::request) {
    if (c.in.size() >= limits_.head_bytes) {
      answer(c);
      return;
    }
    room = std::min(room, limits_.head_bytes - c.in.size());
  }
  const ssize_t n = ::recv(c.fd, buffer, room, 0);
  if (n < 0 && would_block(errno)) return;
  if (n <= 0) {
    close_connection(c);
    return;
  }
  switch (c.state) {
    case Connection::State::request:
      c.in.append(buffer, static_cast<std::size_t>(n));
      answer(c);
      break;
    case Connection::State::closing:
      c.drained += static_cast<std::size_t>(n);
      if (c.drained > kLingerBytes) close_connection(c);
      break;
    default:
      // A stream's client has nothing more to say; a response is sent
      // before the next request is read.
      close_connection(c);
      break;
  }
}

void PageServer::on_writable(Connection& c) {
  while (c.out_at < c.out.size() || (c.body && c.body_at < c.body->size())) {
    iovec parts[2];
    int count = 0;
    if (c.out_at < c.out.size()) parts[count++] = {c.out.data() + c.out_at, c.out.size() - c.out_at};
    if (c.body && c.body_at < c.body->size()) {
      parts[count++] = {const_cast<char*>(c.body->data()) + c.body_at, c.body->size() - c.body_at};
    }
    msghdr message{};
    message.msg_iov = parts;
    message.msg_iovlen = static_cast<std::size_t>(count);
    const ssize_t n = ::sendmsg(c.fd, &message, MSG_NOSIGNAL);
    if (n < 0 && would_block(errno)) {
      // What a stream sent goes, so that a client that reads slowly but
      // never quite catches up does not grow it.
      if (c.state == Connection::State::stream) {
        c.out.erase(0, c.out_at);
        c.out_at = 0;
      }
      return;
    }
    if (n <= 0) {
      close_connection(c);
      return;
    }
    auto sent = static_cast<std::size_t>(n);
    const std::size_t from_out = std::min(sent, c.out.size() - c.out_at);
    c.out_at += from_out;
    c.body_at += sent - from_out;
    if (c.state == Connection::State::response) c.deadline = Clock::now() + limits_.write_deadline;
  }
  c.out.clear();
  c.out_at = 0;
  c.body.reset();
  c.body_at = 0;
  if (c.state != Connection::State::response) return;
  if (c.keep_alive) {
    c.state = Connection::State::request;
    c.deadline = Clock::now() + limits_.head_deadline;
    c.ready = !c.in.empty();
  } else {
    ::shutdown(c.fd, SHUT_WR);
    c.state = Connection::State::closing;
    c.deadline = Clock::now() + kLinger;
  }
}

void PageServer::announce(long long build) {
  build_ = build;
  for (auto& c : connections_) {
    if (c->fd < 0 || c->state != Connection::State::stream || c->sent == build) continue;
    c->sent = build;
    c->out += "event: build\ndata: " + std::to_string(build) + "\n\n";
    if (c->out.size() - c->out_at > limits_.stream_backlog) {
      close_connection(*c);
      continue;
    }
    on_writable(*c);
  }
}

// Takes the build numbers on `input`; false at its end.
bool PageServer::read_input(int input) {
  char buffer[4096];
  const ssize_t n = ::read(input, buffer, sizeof buffer);
  if (n < 0 && would_block(errno)) return true;
  if (n <= 0) return false;
  input_pending_.append(buffer, static_cast<std::size_t>(n));
  for (std::size_t end; (end = input_pending_.find('\n')) != std::string::npos;) {
    announce(std::atoll(input_pending_.substr(0, end).c_str()));
    input_pending_.erase(0, end + 1);
  }
  if (input_pending_.size() > 64) input_pending_.clear();
  return true;
}

void PageServer::serve(int input, int stop) {
  std::vector<pollfd> polled;
  std::vector<Connection*> polled_connections;
  Clock::time_point accept_again{};
  for (;;) {
    const auto now = Clock::now();
    // Deadlines and heartbeats.
    for (auto& c : connections_) {
      if (c->fd < 0) continue;
      if (c->state == Connection::State::stream) {
        if (now < c->beat) continue;
        c->beat = now + limits_.heartbeat;
        c->out += ": still here\n\n";
        if (c->out.size() - c->out_at > limits_.stream_backlog) {
          close_connection(*c);
        } else {
          on_writable(*c);
        }
      } else if (now >= c->deadline) {
        if (c->state == Connection::State::request && !c->in.empty()) {
          refuse(*c, 408, "refused: the request's headers did not come in time\n");
        } else {
          close_connection(*c);
        }
      }
    }
    // Requests that came behind the previous one on the same connection.
    bool more = false;
    for (auto& c : connections_) {
      if (c->fd >= 0 && c->ready && c->state == Connection::State::request) {
        answer(*c);
        more = more || c->ready;
      }
    }
    std::erase_if(connections_, [](const auto& c) { return c->fd < 0; });

    polled.clear();
    polled_connections.clear();
    polled.push_back({stop, POLLIN, 0});
    polled.push_back({input, POLLIN, 0});
    polled.push_back({Clock::now() >= accept_again ? listener_ : -1, POLLIN, 0});
    auto wake = Clock::now() + std::chrono::hours(1);
    if (accept_again > Clock::now()) wake = std::min(wake, accept_again);
    for (auto& c : connections_) {
      short events = POLLIN;
      if (c->state == Connection::State::response) events = POLLOUT;
      if (c->state == Connection::State::stream && c->out_at < c->out.size()) events |= POLLOUT;
      polled.push_back({c->fd, events, 0});
      polled_connections.push_back(c.get());
      wake = std::min(wake, c->state == Connection::State::stream ? c->beat : c->deadline);
    }
    const auto wait = std::chrono::duration_cast<std::chrono::milliseconds>(wake - Clock::now()).count() + 1;
    const int ready = ::poll(polled.data(), static_cast<nfds_t>(polled.size()),
                             more ? 0 : static_cast<int>(std::clamp<long long>(wait, 0, 3600000)));
    if (ready < 0) {
      if (errno == EINTR) continue;
      return;
    }
    if (polled[0].revents != 0) return;
    if (polled[1].revents != 0 && !read_input(input)) return;
    if (polled[2].revents != 0) {
      if (!accept_new()) accept_again = Clock::now() + kAcceptRest;
    }
    for (std::size_t i = 0; i < polled_connections.size(); ++i) {
      Connection& c = *polled_connections[i];
      const short got = polled[i + 3].revents;
      if (got == 0 || c.fd < 0) continue;
      if ((got & POLLOUT) != 0) on_writable(c);
      if (c.fd >= 0 && (got & (POLLIN | POLLHUP | POLLERR)) != 0) {
        if (c.state == Connection::State::response) {
          if ((got & (POLLHUP | POLLERR)) != 0) close_connection(c);
        } else {
          on_readable(c);
        }
      }
    }
  }
}

}  // namespace sb::serve
