// libFuzzer target: the language server's message reader and server on
// arbitrary bytes, two ways. The bytes as the stream from a client, cut
// into chunks where the input says, every message handed to the server;
// and the bytes as the text of an open line file, with hover, completion,
// definition, the outline and the quick fixes asked at places the input
// gives. Every answer is legal; an exception escaping the server, a
// sanitizer report, a crash, a timeout or a leak is a finding.
#include <cstddef>
#include <cstdint>
#include <sstream>
#include <string>
#include <string_view>

#include <nlohmann/json.hpp>

#include "lsp/message_reader.h"
#include "lsp/server.h"

namespace {

using json = nlohmann::json;

void as_stream(std::string_view bytes, sb::lsp::Server& server) {
  sb::lsp::MessageReader reader;
  const std::size_t chunk = bytes.empty() ? 1 : 1 + static_cast<unsigned char>(bytes[0]) % 64;
  for (std::size_t at = 0; at < bytes.size(); at += chunk) {
    reader.feed(bytes.substr(at, chunk));
    while (std::optional<sb::lsp::Frame> frame = reader.next()) {
      if (frame->error.empty()) server.handle(frame->body, sb::lsp::Clock::now());
    }
  }
  server.check_due(sb::lsp::Clock::now() + std::chrono::hours(1));
}

void as_document(std::string_view bytes, sb::lsp::Server& server) {
  const std::string uri = "file:///sb-fuzz-nowhere/Fuzz_linea.txt";
  auto send = [&](const std::string& method, json params, bool request = true) {
    json message = {{"jsonrpc", "2.0"}, {"method", method}, {"params", std::move(params)}};
    if (request) message["id"] = 1;
    server.handle(message.dump(-1, ' ', false, json::error_handler_t::replace), sb::lsp::Clock::now());
  };
  send("initialize", {{"capabilities", {{"general", {{"positionEncodings", {"utf-8"}}}}}}});
  send("textDocument/didOpen",
       {{"textDocument", {{"uri", uri}, {"languageId", "scenario"}, {"version", 1}, {"text", std::string(bytes)}}}},
       false);
  const json document = {{"uri", uri}};
  const std::size_t places = std::min<std::size_t>(bytes.size() / 2, 4);
  for (std::size_t i = 0; i < places; ++i) {
    const json position = {{"line", static_cast<unsigned char>(bytes[2 * i]) % 32},
                           {"character", static_cast<unsigned char>(bytes[2 * i + 1]) % 64}};
    for (const char* method : {"textDocument/hover", "textDocument/completion", "textDocument/definition"}) {
      send(method, {{"textDocument", document}, {"position", position}});
    }
  }
  send("textDocument/documentSymbol", {{"textDocument", document}});
  send("textDocument/codeAction",
       {{"textDocument", document},
        {"range", {{"start", {{"line", 0}, {"character", 0}}}, {"end", {{"line", 1000}, {"character", 0}}}}}});
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, std::size_t size) {
  const std::string_view bytes(reinterpret_cast<const char*>(data), size);
  std::ostringstream log;
  // A small error limit keeps one input fast, as in the check target.
  const sb::lsp::ServerOptions options{std::chrono::milliseconds(0), 8};
  sb::lsp::Server stream_server(options, log);
  as_stream(bytes, stream_server);
  sb::lsp::Server document_server(options, log);
  as_document(bytes, document_server);
  return 0;
}
