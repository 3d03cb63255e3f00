#include "lsp/server.h"

#include <poll.h>
#include <unistd.h>

#include <cerrno>
#include <filesystem>

#include "base/encoding.h"
#include "base/files.h"
#include "lsp/features.h"
#include "lsp/message_reader.h"
#include "text/field_reader.h"

namespace sb::lsp {
namespace {

using json = nlohmann::json;

// JSON-RPC error codes.
constexpr int kParseError = -32700;
constexpr int kInvalidRequest = -32600;
constexpr int kMethodNotFound = -32601;
constexpr int kInvalidParams = -32602;
constexpr int kInternalError = -32603;

struct RequestError {
  int code;
  std::string message;
};

std::string dump(const json& j) { return j.dump(-1, ' ', false, json::error_handler_t::replace); }

std::string response(const json& id, json result) {
  return dump({{"jsonrpc", "2.0"}, {"id", id}, {"result", std::move(result)}});
}
std::string error_response(const json& id, int code, const std::string& message) {
  return dump({{"jsonrpc", "2.0"}, {"id", id}, {"error", {{"code", code}, {"message", message}}}});
}
std::string notification(const std::string& method, json params) {
  return dump({{"jsonrpc", "2.0"}, {"method", method}, {"params", std::move(params)}});
}

const json& member(const json& object, const char* key) {
  static const json kNull;
  if (!object.is_object()) return kNull;
  const auto it = object.find(key);
  return it == object.end() ? kNull : *it;
}
std::string string_member(const json& object, const char* key) {
  const json& v = member(object, key);
  if (!v.is_string()) throw RequestError{kInvalidParams, std::string("'") + key + "' must be a string"};
  return v.get<std::string>();
}
std::size_t count_member(const json& object, const char* key) {
  const json& v = member(object, key);
  if (!v.is_number_unsigned() && !(v.is_number_integer() && v.get<int64_t>() >= 0)) {
    throw RequestError{kInvalidParams, std::string("'") + key + "' must be a whole number"};
  }
  return static_cast<std::size_t>(std::min<uint64_t>(v.get<uint64_t>(), 1u << 30));
}
int version_of(const json& document) {
  const json& v = member(document, "version");
  return v.is_number_integer() ? static_cast<int>(std::clamp<int64_t>(v.get<int64_t>(), INT32_MIN, INT32_MAX)) : 0;
}

// The editor's text after one change: the whole text, or a range replaced.
std::string apply_change(const std::string& text, const json& change, PositionEncoding encoding) {
  const std::string replacement = string_member(change, "text");
  const json& range = member(change, "range");
  if (range.is_null()) return replacement;
  const TextLines lines(text);
  auto offset = [&](const json& position) {
    const std::size_t line = count_member(position, "line");
    if (line >= lines.count()) return text.size();
    const std::string_view start = lines.line(line);
    const std::size_t line_start = static_cast<std::size_t>(start.data() - lines.text().data());
    return line_start + lines.byte_of(line, count_member(position, "character"), encoding);
  };
  const std::size_t begin = offset(member(range, "start"));
  const std::size_t end = std::max(begin, offset(member(range, "end")));
  return text.substr(0, begin) + replacement + text.substr(end);
}

std::string guess_role_text(const std::string& text) { return contains_any_case(text, "lunghezza") ? "line" : "train"; }

}  // namespace

std::array<std::string, 2> Server::pair_paths(const std::string& path) const {
  if (!configured_line_.empty() && !configured_train_.empty() &&
      (path == configured_line_ || path == configured_train_)) {
    return {configured_line_, configured_train_};
  }
  const std::optional<NamedFile> named = name_by_rule(path);
  if (named && named->role == FileRole::kTrain) return {partner_by_rule(path), path};
  if (named) {
    // A train file the editor holds open beside it comes first.
    for (const auto& [other, file] : open_) {
      const std::optional<NamedFile> o = name_by_rule(other);
      if (o && o->role == FileRole::kTrain && o->route == named->route &&
          std::filesystem::path(other).parent_path() == std::filesystem::path(path).parent_path()) {
        return {path, other};
      }
    }
    return {path, partner_by_rule(path)};
  }
  const auto it = open_.find(path);
  if (it != open_.end() && guess_role_text(it->second.text) == "train") return {"", path};
  return {path, ""};
}

json Server::initialize(const json& params) {
  const json& capabilities = member(params, "capabilities");
  const json& encodings = member(member(capabilities, "general"), "positionEncodings");
  const bool utf8 = encodings.is_array() && std::find(encodings.begin(), encodings.end(), "utf-8") != encodings.end();
  encoding_ = utf8 ? PositionEncoding::kUtf8 : PositionEncoding::kUtf16;
  const json& options = member(params, "initializationOptions");
  if (member(options, "lineFile").is_string()) configured_line_ = member(options, "lineFile").get<std::string>();
  if (member(options, "trainFile").is_string()) configured_train_ = member(options, "trainFile").get<std::string>();
  log_ << "scenario-builder lsp: positions in " << (utf8 ? "UTF-8" : "UTF-16") << "\n";
  return {{"capabilities",
           {{"positionEncoding", utf8 ? "utf-8" : "utf-16"},
            {"textDocumentSync", {{"openClose", true}, {"change", 1}}},
            {"hoverProvider", true},
            {"completionProvider", {{"triggerCharacters", json::array({"["})}}},
            {"documentSymbolProvider", true},
            {"definitionProvider", true},
            {"codeActionProvider", {{"codeActionKinds", json::array({"quickfix"})}}}}},
          {"serverInfo", {{"name", "scenario-builder"}}}};
}

void Server::open_or_change(const std::string& uri, std::string text, int version, Clock::time_point due,
                            std::size_t refused_size) {
  const std::string path = path_of_uri(uri);
  open_[path] = {std::move(text), version, refused_size};
  const std::array<std::string, 2> paths = pair_paths(path);
  const std::string key = paths[0] + '\n' + paths[1];
  PairState& pair = pairs_[key];
  pair.paths = paths;
  if (!pair.due || due < *pair.due) pair.due = due;
}

std::size_t Server::oversize(const std::string& path) const {
  if (path.empty()) return 0;
  const auto it = open_.find(path);
  if (it != open_.end()) return it->second.refused_size;
  std::error_code error;
  const uintmax_t size = std::filesystem::file_size(path, error);
  return !error && size > options_.max_document_bytes ? static_cast<std::size_t>(size) : 0;
}

std::string Server::too_large_text(const std::string& path, std::size_t size) const {
  return path + " is " + std::to_string(size) + " bytes, more than the " + std::to_string(options_.max_document_bytes) +
         " bytes the language server checks: it is not checked here (scenario-builder check reads it)";
}

void Server::refuse(const std::string& uri, std::size_t size, int version, Clock::time_point now,
                    std::vector<std::string>& out) {
  const std::string path = path_of_uri(uri);
  const auto it = open_.find(path);
  if (it == open_.end() || it->second.refused_size == 0) {
    out.push_back(notification("window/showMessage",
                               {{"type", 2}, {"message", "scenario-builder: " + too_large_text(path, size)}}));
    log_ << "scenario-builder lsp: " << too_large_text(path, size) << "\n";
  }
  open_or_change(uri, std::string(), version, now, size);
}

void Server::close(const std::string& uri, std::vector<std::string>& out) {
  const std::string path = path_of_uri(uri);
  open_.erase(path);
  for (auto it = pairs_.begin(); it != pairs_.end();) {
    const PairState& pair = it->second;
    if (pair.paths[0] != path && pair.paths[1] != path) {
      ++it;
      continue;
    }
    if (open_.count(pair.paths[0]) || open_.count(pair.paths[1])) {
      it->second.due = Clock::now();
      ++it;
      continue;
    }
    // Neither file is open any more: its diagnostics go.
    for (const std::string& p : pair.paths) {
      if (!p.empty())
        out.push_back(
            notification("textDocument/publishDiagnostics", {{"uri", uri_of_path(p)}, {"diagnostics", json::array()}}));
    }
    it = pairs_.erase(it);
  }
}

void Server::run_check(PairState& pair, std::vector<std::string>& out) {
  // A pair with a document too large, open or on disk, is not checked:
  // each of its open files gets one diagnostic that says why.
  const std::array<std::size_t, 2> sizes = {oversize(pair.paths[0]), oversize(pair.paths[1])};
  if (sizes[0] > 0 || sizes[1] > 0) {
    pair.checked.reset();
    pair.due.reset();
    const std::size_t large = sizes[0] > 0 ? 0 : 1;
    for (std::size_t i = 0; i < 2; ++i) {
      const std::string& path = pair.paths[i];
      const auto it = open_.find(path);
      if (path.empty() || it == open_.end()) continue;
      const std::size_t which = sizes[i] > 0 ? i : large;
      const json diagnostic = {
          {"range", {{"start", {{"line", 0}, {"character", 0}}}, {"end", {{"line", 0}, {"character", 0}}}}},
          {"severity", 1},
          {"source", "scenario-builder"},
          {"message", too_large_text(pair.paths[which], sizes[which])}};
      out.push_back(notification(
          "textDocument/publishDiagnostics",
          {{"uri", uri_of_path(path)}, {"version", it->second.version}, {"diagnostics", json::array({diagnostic})}}));
    }
    return;
  }
  const auto started = Clock::now();
  std::array<PairFile, 2> files;
  for (std::size_t i = 0; i < 2; ++i) {
    PairFile& f = files[i];
    f.path = pair.paths[i];
    f.uri = f.path.empty() ? std::string() : uri_of_path(f.path);
    const auto it = open_.find(f.path);
    if (it != open_.end()) {
      f.lines = TextLines(it->second.text);
      f.open = true;
      f.version = it->second.version;
      continue;
    }
    std::string bytes;
    try {
      f.exists = !f.path.empty() && read_file(f.path, bytes, options_.max_document_bytes);
    } catch (const std::exception& e) {
      log_ << "scenario-builder lsp: " << e.what() << "\n";
      f.exists = false;
    }
    f.lines = TextLines(display_utf8(bytes));
  }
  pair.checked = check_pair(std::move(files), options_.max_errors);
  pair.due.reset();
  for (std::size_t i = 0; i < 2; ++i) {
    const PairFile& f = pair.checked->files[i];
    if (f.uri.empty()) continue;
    json params = {{"uri", f.uri}, {"diagnostics", diagnostics_of(*pair.checked, i, encoding_)}};
    if (f.open) params["version"] = f.version;
    out.push_back(notification("textDocument/publishDiagnostics", std::move(params)));
  }
  const auto took = std::chrono::duration_cast<std::chrono::microseconds>(Clock::now() - started);
  log_ << "scenario-builder lsp: checked " << pair.paths[0] << " and " << pair.paths[1] << " in "
       << took.count() / 1000.0 << " ms\n";
}

const CheckedPair* Server::checked_pair(const std::string& uri, std::size_t& file, std::vector<std::string>& out) {
  const std::string path = path_of_uri(uri);
  for (auto& [key, pair] : pairs_) {
    for (std::size_t i = 0; i < 2; ++i) {
      if (pair.paths[i] != path || path.empty()) continue;
      // A request after a change answers from the changed text; the
      // diagnostics of that check go out with the answer.
      if (pair.due || !pair.checked) run_check(pair, out);
      if (!pair.checked) return nullptr;
      file = i;
      return &*pair.checked;
    }
  }
  return nullptr;
}

std::optional<Clock::time_point> Server::next_check() const {
  std::optional<Clock::time_point> next;
  for (const auto& [key, pair] : pairs_) {
    if (pair.due && (!next || *pair.due < *next)) next = pair.due;
  }
  return next;
}

std::vector<std::string> Server::check_due(Clock::time_point now) {
  std::vector<std::string> out;
  for (auto& [key, pair] : pairs_) {
    if (!pair.due || *pair.due > now) continue;
    try {
      run_check(pair, out);
    } catch (const std::exception& e) {
      pair.due.reset();
      log_ << "scenario-builder lsp: the check failed: " << e.what() << "\n";
    }
  }
  return out;
}

json Server::dispatch(const std::string& method, const json& params, Clock::time_point now,
                      std::vector<std::string>& out) {
  if (method == "initialize") return initialize(params);
  if (method == "initialized" || method == "$/setTrace" || method == "$/cancelRequest") return nullptr;
  if (method == "shutdown") {
    shutdown_ = true;
    return nullptr;
  }
  if (method == "exit") {
    exited_ = true;
    return nullptr;
  }
  const json& document = member(params, "textDocument");
  if (method == "textDocument/didOpen") {
    // A document over the limit is measured, never copied.
    const json& text = member(document, "text");
    const std::size_t size = text.is_string() ? text.get_ref<const std::string&>().size() : 0;
    if (size > options_.max_document_bytes) {
      refuse(string_member(document, "uri"), size, version_of(document), now, out);
      return nullptr;
    }
    open_or_change(string_member(document, "uri"), string_member(document, "text"), version_of(document), now);
    return nullptr;
  }
  if (method == "textDocument/didChange") {
    const std::string uri = string_member(document, "uri");
    const json& changes = member(params, "contentChanges");
    if (!changes.is_array()) throw RequestError{kInvalidParams, "'contentChanges' must be an array"};
    const auto it = open_.find(path_of_uri(uri));
    // The size the changes make at most, before any is applied: a
    // document over the limit is not built. A range changed in a document
    // not kept cannot be applied; it stays refused until the whole text
    // comes again.
    std::size_t size = it == open_.end() ? 0 : std::max(it->second.text.size(), it->second.refused_size);
    bool refused = it != open_.end() && it->second.refused_size > 0;
    for (const json& change : changes) {
      const json& replacement = member(change, "text");
      const std::size_t n = replacement.is_string() ? replacement.get_ref<const std::string&>().size() : 0;
      const bool whole = member(change, "range").is_null();
      size = whole ? n : size + n;
      refused = whole ? false : refused;
    }
    if (refused || size > options_.max_document_bytes) {
      refuse(uri, size, version_of(document), now, out);
      return nullptr;
    }
    std::string text = it == open_.end() ? std::string() : it->second.text;
    for (const json& change : changes) text = apply_change(text, change, encoding_);
    open_or_change(uri, std::move(text), version_of(document), now + options_.debounce);
    return nullptr;
  }
  if (method == "textDocument/didClose") {
    close(string_member(document, "uri"), out);
    return nullptr;
  }
  if (method == "workspace/didChangeWatchedFiles") {
    // A partner changed on disk: the pairs that read it are checked again.
    const json& changes = member(params, "changes");
    if (!changes.is_array()) return nullptr;
    for (const json& change : changes) {
      const json& uri = member(change, "uri");
      if (!uri.is_string()) continue;
      const std::string path = path_of_uri(uri.get<std::string>());
      for (auto& [key, pair] : pairs_) {
        if (pair.paths[0] == path || pair.paths[1] == path) pair.due = now;
      }
    }
    return nullptr;
  }
  if (method == "textDocument/didSave" || method == "workspace/didChangeConfiguration") return nullptr;
  std::size_t file = 0;
  const CheckedPair* pair = nullptr;
  if (method.starts_with("textDocument/")) pair = checked_pair(string_member(document, "uri"), file, out);
  const json& position = member(params, "position");
  if (method == "textDocument/hover") {
    return pair ? hover_at(*pair, file, count_member(position, "line"), count_member(position, "character"), encoding_)
                : json();
  }
  if (method == "textDocument/completion") {
    return pair ? completion_at(*pair, file, count_member(position, "line"), count_member(position, "character"),
                                encoding_)
                : json::array();
  }
  if (method == "textDocument/documentSymbol") return pair ? document_symbols(*pair, file, encoding_) : json::array();
  if (method == "textDocument/definition") {
    return pair ? definition_at(*pair, file, count_member(position, "line"), count_member(position, "character"),
                                encoding_)
                : json();
  }
  if (method == "textDocument/codeAction") {
    const json& range = member(params, "range");
    return pair ? code_actions(*pair, file, count_member(member(range, "start"), "line"),
                               count_member(member(range, "end"), "line"), encoding_)
                : json::array();
  }
  throw RequestError{kMethodNotFound, "no method " + method};
}

std::vector<std::string> Server::handle(std::string_view body, Clock::time_point now) {
  std::vector<std::string> out;
  json message = json::parse(body, nullptr, false);
  if (message.is_discarded()) {
    out.push_back(error_response(nullptr, kParseError, "the message is not JSON"));
    return out;
  }
  const json& id = member(message, "id");
  const json& method = member(message, "method");
  const bool request = !id.is_null();
  if (!method.is_string()) {
    // A response to a request of ours (none is sent) or nonsense.
    if (!message.is_object() || !message.contains("result")) {
      out.push_back(
          error_response(id.is_string() || id.is_number() ? id : json(), kInvalidRequest, "a message needs a method"));
    }
    return out;
  }
  try {
    json result = dispatch(method.get<std::string>(), member(message, "params"), now, out);
    if (request) out.push_back(response(id, std::move(result)));
  } catch (const RequestError& e) {
    log_ << "scenario-builder lsp: " << method.get<std::string>() << ": " << e.message << "\n";
    if (request) out.push_back(error_response(id, e.code, e.message));
  } catch (const std::exception& e) {
    log_ << "scenario-builder lsp: " << method.get<std::string>() << " failed: " << e.what() << "\n";
    if (request) out.push_back(error_response(id, kInternalError, e.what()));
  }
  return out;
}

std::vector<std::string> Server::framing_error(const std::string& what) {
  log_ << "scenario-builder lsp: " << what << "\n";
  return {error_response(nullptr, kParseError, what)};
}

namespace {

bool write_all(int fd, const std::string& bytes) {
  std::size_t done = 0;
  while (done < bytes.size()) {
    const ssize_t n = ::write(fd, bytes.data() + done, bytes.size() - done);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) return false;
    done += static_cast<std::size_t>(n);
  }
  return true;
}

}  // namespace

int serve(int in, int out, std::ostream& log, ServerOptions options) {
  Server server(options, log);
  MessageReader reader;
  std::string chunk(64 * 1024, '\0');
  auto send = [&](const std::vector<std::string>& bodies) {
    for (const std::string& body : bodies) {
      if (!write_all(out, frame_message(body))) return false;
    }
    return true;
  };
  while (!server.exited()) {
    int timeout = -1;
    if (const std::optional<Clock::time_point> next = server.next_check()) {
      const auto wait = std::chrono::duration_cast<std::chrono::milliseconds>(*next - Clock::now()).count();
      timeout = static_cast<int>(std::clamp<int64_t>(wait, 0, 60000));
    }
    pollfd fd{in, POLLIN, 0};
    const int ready = ::poll(&fd, 1, timeout);
    if (ready < 0 && errno != EINTR) break;
    if (ready > 0) {
      const ssize_t n = ::read(in, chunk.data(), chunk.size());
      if (n < 0 && errno == EINTR) continue;
      if (n <= 0) break;  // the client has gone
      reader.feed(std::string_view(chunk.data(), static_cast<std::size_t>(n)));
      while (std::optional<Frame> frame = reader.next()) {
        const std::vector<std::string> replies =
            frame->error.empty() ? server.handle(frame->body, Clock::now()) : server.framing_error(frame->error);
        if (!send(replies) || server.exited()) break;
      }
      // Read everything waiting before checking, so that a burst of
      // changes is checked once.
      continue;
    }
    if (!send(server.check_due(Clock::now()))) break;
  }
  return server.exited() ? server.exit_status() : 1;
}

}  // namespace sb::lsp
