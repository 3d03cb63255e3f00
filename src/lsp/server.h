// scenario-builder lsp: the language server. The Server answers one
// message at a time and holds the open files and their checked pairs;
// serve() runs it over two file descriptors, checking a changed pair once
// the author has stopped typing for a moment.
#pragma once

#include <chrono>
#include <map>
#include <optional>
#include <ostream>
#include <string>
#include <string_view>
#include <vector>

#include <nlohmann/json.hpp>

#include "lsp/scenario_pair.h"
#include "lsp/text_lines.h"

namespace sb::lsp {

using Clock = std::chrono::steady_clock;

struct ServerOptions {
  // How long after the last change a pair is checked.
  std::chrono::milliseconds debounce{150};
  // The check's error limit, as check --max-errors.
  std::size_t max_errors = 50;
  // The largest document the server takes, open or read from disk: a
  // larger one is not kept or checked, and the editor is told why, so that
  // the server's memory stays a small multiple of this.
  std::size_t max_document_bytes = std::size_t{8} << 20;
};

class Server {
 public:
  Server(ServerOptions options, std::ostream& log) : options_(options), log_(log) {}

  // One message body; returns the message bodies to send.
  std::vector<std::string> handle(std::string_view body, Clock::time_point now);
  // A framing error reported by the message reader.
  std::vector<std::string> framing_error(const std::string& what);
  // When the next pair is due to be checked.
  std::optional<Clock::time_point> next_check() const;
  // Checks the pairs that are due and returns their diagnostics.
  std::vector<std::string> check_due(Clock::time_point now);

  bool exited() const { return exited_; }
  int exit_status() const { return shutdown_ ? 0 : 1; }

 private:
  struct OpenFile {
    std::string text;
    int version = 0;
    std::size_t refused_size = 0;  // over max_document_bytes: the text is not kept
  };
  struct PairState {
    std::array<std::string, 2> paths;  // line file, train file
    std::optional<CheckedPair> checked;
    std::optional<Clock::time_point> due;
  };

  nlohmann::json dispatch(const std::string& method, const nlohmann::json& params, Clock::time_point now,
                          std::vector<std::string>& out);
  nlohmann::json initialize(const nlohmann::json& params);
  void open_or_change(const std::string& uri, std::string text, int version, Clock::time_point due,
                      std::size_t refused_size = 0);
  // A document over max_document_bytes: kept without its text; the editor
  // is told once, and its pair is not checked until it is smaller.
  void refuse(const std::string& uri, std::size_t size, int version, Clock::time_point now,
              std::vector<std::string>& out);
  std::string too_large_text(const std::string& path, std::size_t size) const;
  // The size of a document over max_document_bytes, open or on disk; 0
  // for one the server checks.
  std::size_t oversize(const std::string& path) const;
  void close(const std::string& uri, std::vector<std::string>& out);
  std::array<std::string, 2> pair_paths(const std::string& path) const;
  // The pair holding a file, checked now if it is out of date; and which
  // of its two files it is.
  const CheckedPair* checked_pair(const std::string& uri, std::size_t& file, std::vector<std::string>& out);
  void run_check(PairState& pair, std::vector<std::string>& out);

  ServerOptions options_;
  std::ostream& log_;
  PositionEncoding encoding_ = PositionEncoding::kUtf16;
  std::string configured_line_, configured_train_;
  std::map<std::string, OpenFile> open_;    // by path
  std::map<std::string, PairState> pairs_;  // by the line file's path
  bool shutdown_ = false;
  bool exited_ = false;
};

// Reads messages from `in`, writes replies to `out`, logs to `log`; returns
// the exit status once the client has sent exit or closed the stream.
int serve(int in, int out, std::ostream& log, ServerOptions options = {});

}  // namespace sb::lsp
