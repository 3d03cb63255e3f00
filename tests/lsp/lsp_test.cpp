// The language server: its message framing, the protocol over a pipe as an
// editor speaks it, and what it answers about a pair of description files.
#include <gmock/gmock.h>
#include <gtest/gtest.h>
#include <poll.h>
#include <unistd.h>

#include <chrono>
#include <sstream>
#include <thread>

#include "line_generator.h"
#include "lsp/message_reader.h"
#include "lsp/record_fields.h"
#include "lsp/scenario_pair.h"
#include "lsp/server.h"
#include "support/test_files.h"

namespace {

using json = nlohmann::json;
using ::testing::HasSubstr;
using namespace std::chrono_literals;

// --- Framing -----------------------------------------------------------

struct FramingCase {
  std::string name;
  std::vector<std::string> chunks;  // fed one after the other
  std::string frames;               // what comes out: "body" or "!error", joined by '|'
};
void PrintTo(const FramingCase& c, std::ostream* os) { *os << c.name; }

class Framing : public ::testing::TestWithParam<FramingCase> {};

TEST_P(Framing, HandsOutWholeBodiesAndSkipsDamagedHeaders) {
  sb::lsp::MessageReader reader;
  std::string frames;
  for (const std::string& chunk : GetParam().chunks) {
    reader.feed(chunk);
    while (std::optional<sb::lsp::Frame> f = reader.next()) {
      if (!frames.empty()) frames += '|';
      frames += f->error.empty() ? f->body : "!" + f->error;
    }
  }
  EXPECT_EQ(frames, GetParam().frames);
}

INSTANTIATE_TEST_SUITE_P(
    Lsp, Framing,
    ::testing::Values(
        FramingCase{"two_in_one_chunk", {"Content-Length: 2\r\n\r\n{}Content-Length: 3\r\n\r\n[1]"}, "{}|[1]"},
        FramingCase{"byte_by_byte", {"Cont", "ent-Length:", " 2\r", "\n\r\n{", "}"}, "{}"},
        FramingCase{"other_fields_and_any_case",
                    {"Content-Type: application/vscode-jsonrpc\r\ncontent-length:2\r\n\r\n{}"},
                    "{}"},
        FramingCase{
            "no_length", {"Content-Type: x\r\n\r\nContent-Length: 1\r\n\r\n1"}, "!header without Content-Length|1"},
        FramingCase{"length_not_a_number",
                    {"Content-Length: 2x\r\n\r\nContent-Length: 1\r\n\r\n1"},
                    "!Content-Length is not a number|1"},
        FramingCase{
            "length_too_large", {"Content-Length: 99999999999999999999\r\n\r\n"}, "!Content-Length is not a number"},
        FramingCase{"line_without_colon", {"hello\r\n\r\nContent-Length: 1\r\n\r\n1"}, "!header line without ':'|1"},
        FramingCase{"endless_header", {std::string(9000, 'x')}, "!header over 8192 bytes without an end"},
        FramingCase{"body_not_yet_complete", {"Content-Length: 10\r\n\r\n{}"}, ""},
        // The body after a damaged header is dropped, not read as the next
        // header: by the length the header gave, else up to the next
        // Content-Length (split across chunks or not).
        FramingCase{"body_of_bad_header_skipped_by_its_length",
                    {"Content-Length: 9\r\nhello\r\n\r\n{\"b\":\"x\"}Content-Length: 2\r\n\r\n{}"},
                    "!header line without ':'|{}"},
        FramingCase{"body_of_unknown_length_skipped",
                    {"Content-Length: 2x\r\n\r\n{\"id\":1}\r\n\r\nContent-Length: 2\r\n\r\n{}"},
                    "!Content-Length is not a number|{}"},
        FramingCase{"body_skipped_up_to_a_split_field_name",
                    {"Content-Type: x\r\n\r\n[1,2]Conte", "nt-LENGTH: 2\r\n\r\n{}"},
                    "!header without Content-Length|{}"},
        FramingCase{"body_over_the_limit_skipped",
                    {"Content-Length: 300000000\r\n\r\n{\"x\":1}", "Content-Length: 3\r\n\r\n[1]"},
                    "!Content-Length 300000000 is over the limit|[1]"},
        FramingCase{"endless_header_then_a_message",
                    {std::string(9000, 'x'), "yyy\r\n\r\nContent-Length: 2\r\n\r\n{}"},
                    "!header over 8192 bytes without an end|{}"}),
    [](const auto& info) { return info.param.name; });

// --- Columns -----------------------------------------------------------

TEST(LspTextLines, CountsColumnsInTheClientsEncoding) {
  // "è" is 2 UTF-8 bytes and 1 UTF-16 unit; "😀" 4 bytes and 2 units.
  const sb::lsp::TextLines lines("a\r\nxè😀,b\nlast");
  ASSERT_EQ(lines.count(), 3u);
  EXPECT_EQ(lines.line(1), "xè😀,b");
  EXPECT_EQ(lines.line(2), "last");
  const std::size_t comma = std::string_view("xè😀").size();
  EXPECT_EQ(lines.column_of(1, comma, sb::lsp::PositionEncoding::kUtf8), 7u);
  EXPECT_EQ(lines.column_of(1, comma, sb::lsp::PositionEncoding::kUtf16), 4u);
  EXPECT_EQ(lines.byte_of(1, 4, sb::lsp::PositionEncoding::kUtf16), comma);
  EXPECT_EQ(lines.byte_of(1, 99, sb::lsp::PositionEncoding::kUtf16), lines.line(1).size());
  EXPECT_EQ(lines.byte_of(7, 3, sb::lsp::PositionEncoding::kUtf8), 0u);
}

TEST(LspRecordFields, DescribeEveryValueOfEveryKeywordRow) {
  for (sb::RecordPart part : {sb::RecordPart::kLineGeneral, sb::RecordPart::kLineMain, sb::RecordPart::kTrain}) {
    for (const sb::RecordKeyword& row : sb::record_keywords(part)) {
      EXPECT_EQ(sb::lsp::record_values(row).size(), static_cast<std::size_t>(row.values)) << row.name;
      EXPECT_FALSE(sb::lsp::record_what(row).empty()) << row.name;
    }
  }
}

// --- The protocol over a pipe -----------------------------------------

// The server in a thread of its own, spoken to as an editor does.
class PipeClient {
 public:
  explicit PipeClient(sb::lsp::ServerOptions options = {std::chrono::milliseconds(5)}) {
    EXPECT_EQ(::pipe(to_server_), 0);
    EXPECT_EQ(::pipe(from_server_), 0);
    thread_ = std::thread([this, options] {
      status_ = sb::lsp::serve(to_server_[0], from_server_[1], log_, options);
      ::close(from_server_[1]);
    });
  }
  ~PipeClient() { finish(); }

  void send_raw(const std::string& bytes) {
    ASSERT_EQ(::write(to_server_[1], bytes.data(), bytes.size()), static_cast<ssize_t>(bytes.size()));
  }
  void send(const json& message) { send_raw(sb::lsp::frame_message(message.dump())); }
  void request(int id, const std::string& method, json params = json::object()) {
    send({{"jsonrpc", "2.0"}, {"id", id}, {"method", method}, {"params", std::move(params)}});
  }
  void notify(const std::string& method, json params) {
    send({{"jsonrpc", "2.0"}, {"method", method}, {"params", std::move(params)}});
  }
  // The next message from the server; null after 10 s of silence.
  json receive() {
    while (true) {
      if (std::optional<sb::lsp::Frame> f = reader_.next()) return json::parse(f->body);
      pollfd fd{from_server_[0], POLLIN, 0};
      if (::poll(&fd, 1, 10000) <= 0) return nullptr;
      char chunk[4096];
      const ssize_t n = ::read(from_server_[0], chunk, sizeof chunk);
      if (n <= 0) return nullptr;
      reader_.feed(std::string_view(chunk, static_cast<std::size_t>(n)));
    }
  }
  // The next message that answers request `id`, or publishes for `uri`.
  json answer(int id) {
    for (json m = receive(); !m.is_null(); m = receive()) {
      if (m.value("id", json()) == id) return m;
    }
    return nullptr;
  }
  json diagnostics_for(const std::string& uri) {
    for (json m = receive(); !m.is_null(); m = receive()) {
      if (m.value("method", "") == "textDocument/publishDiagnostics" && m["params"]["uri"] == uri) return m["params"];
    }
    return nullptr;
  }
  int finish() {
    if (thread_.joinable()) {
      ::close(to_server_[1]);
      thread_.join();
      ::close(to_server_[0]);
      ::close(from_server_[0]);
    }
    return status_;
  }
  std::string log() const { return log_.str(); }

 private:
  int to_server_[2] = {-1, -1};
  int from_server_[2] = {-1, -1};
  std::thread thread_;
  int status_ = -1;
  std::ostringstream log_;
  sb::lsp::MessageReader reader_;
};

constexpr const char* kLineWithCollision =
    "[generale]\r\nlunghezza percorso,  3000\r\n[indicazioni]\r\n"
    "cartello_indicatore,  1300,     (   P.L.  )(km 1+300)\r\ncartello_indicatore,  1310,     (X)\r\n[fine]\r\n";
constexpr const char* kLineFixed =
    "[generale]\r\nlunghezza percorso,  3000\r\n[indicazioni]\r\n"
    "cartello_indicatore,  1300,     (   P.L.  )(km 1+300)\r\ncartello_indicatore,  1400,     (X)\r\n[fine]\r\n";
constexpr const char* kTrain =
    "[generale]\r\n[aderenze]\r\naderenza,  0,  100\r\n[vel_limite]\r\nvelocita,  0,  90\r\n[stazioni]\r\n"
    "stazione,  1020,  12,  800,  0,  0,  0,  1,  1,  0,  4,  1,  1,  1,  5,  57,  0,   VALDRA\r\n[fine]\r\n";

class LspPair : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_TRUE(dir_.created());
    line_path_ = (dir_.path() / "Prova_linea.txt").string();
    train_path_ = (dir_.path() / "Prova_100-.txt").string();
    sb::test::write_bytes(line_path_, kLineWithCollision);
    sb::test::write_bytes(train_path_, kTrain);
    line_uri_ = sb::lsp::uri_of_path(line_path_);
    train_uri_ = sb::lsp::uri_of_path(train_path_);
  }
  json open(const std::string& uri, const std::string& text) {
    return {{"textDocument", {{"uri", uri}, {"languageId", "scenario"}, {"version", 1}, {"text", text}}}};
  }

  sb::test::TempDir dir_;
  std::string line_path_, train_path_, line_uri_, train_uri_;
};

TEST_F(LspPair, NegotiatesUtf8WhenOfferedAndUtf16Otherwise) {
  for (const bool offered : {true, false}) {
    PipeClient client;
    json capabilities = json::object();
    if (offered) capabilities["general"]["positionEncodings"] = {"utf-16", "utf-8"};
    client.request(1, "initialize", {{"capabilities", capabilities}});
    const json reply = client.answer(1);
    EXPECT_EQ(reply["result"]["capabilities"]["positionEncoding"], offered ? "utf-8" : "utf-16") << reply;
  }
}

TEST_F(LspPair, DiagnosticsOnOpenOnTheFieldWithTheOtherRecordClearedWhenFixed) {
  PipeClient client;
  client.request(1, "initialize", {{"capabilities", json::object()}});
  client.answer(1);
  client.notify("textDocument/didOpen", open(line_uri_, kLineWithCollision));
  json published = client.diagnostics_for(line_uri_);
  ASSERT_EQ(published["diagnostics"].size(), 1u) << published;
  const json& d = published["diagnostics"][0];
  EXPECT_EQ(d["code"], 6);
  EXPECT_EQ(d["severity"], 1);
  // The position field of line 5 ("1310"), and the board that holds the cell.
  EXPECT_EQ(d["range"], json::parse(R"({"start":{"line":4,"character":22},"end":{"line":4,"character":26}})"));
  EXPECT_EQ(d["relatedInformation"][0]["location"]["uri"], line_uri_);
  EXPECT_EQ(d["relatedInformation"][0]["location"]["range"]["start"]["line"], 3);
  EXPECT_EQ(published["version"], 1);

  // The partner, read from disk, has its own diagnostics: a station off the 50 m grid.
  published = client.diagnostics_for(train_uri_);
  ASSERT_EQ(published["diagnostics"].size(), 1u) << published;
  EXPECT_EQ(published["diagnostics"][0]["code"], 8);

  client.notify("textDocument/didChange",
                {{"textDocument", {{"uri", line_uri_}, {"version", 2}}}, {"contentChanges", {{{"text", kLineFixed}}}}});
  published = client.diagnostics_for(line_uri_);
  EXPECT_EQ(published["diagnostics"], json::array()) << published;
  EXPECT_EQ(published["version"], 2);

  EXPECT_EQ(client.diagnostics_for(train_uri_)["diagnostics"].size(), 1u);  // the same as before

  // The partner mended on disk, as the editor's file watcher reports it.
  std::string train = kTrain;
  train.replace(train.find("1020"), 4, "2000");
  sb::test::write_bytes(train_path_, train);
  client.notify("workspace/didChangeWatchedFiles", {{"changes", {{{"uri", train_uri_}, {"type", 2}}}}});
  published = client.diagnostics_for(train_uri_);
  EXPECT_EQ(published["diagnostics"], json::array()) << published;

  client.request(2, "shutdown");
  client.answer(2);
  client.notify("exit", json::object());
  EXPECT_EQ(client.finish(), 0) << client.log();
}

// A document over the limit is not kept or checked, whether the editor
// sends it or it is the partner on disk: the editor is told once by a
// message, and by a diagnostic on each open file of the pair, until the
// whole text comes again small enough.
TEST_F(LspPair, DocumentsOverTheLimitAreRefusedWithAMessage) {
  sb::lsp::ServerOptions options{std::chrono::milliseconds(5)};
  options.max_document_bytes = 400;
  PipeClient client(options);
  client.request(1, "initialize", {{"capabilities", json::object()}});
  client.answer(1);
  std::string large = kLineFixed;
  while (large.size() <= 400) large.insert(large.rfind("[fine]"), "; a comment\r\n");
  client.notify("textDocument/didOpen", open(line_uri_, large));
  json shown = client.receive();
  EXPECT_EQ(shown["method"], "window/showMessage") << shown;
  EXPECT_THAT(shown["params"]["message"].get<std::string>(),
              HasSubstr(line_path_ + " is " + std::to_string(large.size()) + " bytes, more than the 400 bytes"));
  json published = client.diagnostics_for(line_uri_);
  ASSERT_EQ(published["diagnostics"].size(), 1u) << published;
  EXPECT_THAT(published["diagnostics"][0]["message"].get<std::string>(), HasSubstr("more than the 400 bytes"));
  client.request(2, "textDocument/hover",
                 {{"textDocument", {{"uri", line_uri_}}}, {"position", {{"line", 0}, {"character", 1}}}});
  EXPECT_EQ(client.answer(2)["result"], nullptr);
  // A range changed in a text not kept cannot be applied: still refused,
  // and not announced again.
  client.notify("textDocument/didChange",
                {{"textDocument", {{"uri", line_uri_}, {"version", 2}}},
                 {"contentChanges",
                  {{{"range", {{"start", {{"line", 0}, {"character", 0}}}, {"end", {{"line", 0}, {"character", 0}}}}},
                    {"text", ";"}}}}});
  published = client.receive();
  ASSERT_EQ(published["method"], "textDocument/publishDiagnostics") << published;
  EXPECT_THAT(published["params"]["diagnostics"][0]["message"].get<std::string>(),
              HasSubstr("more than the 400 bytes"));

  // The whole text again, small enough: checked as usual.
  client.notify("textDocument/didChange",
                {{"textDocument", {{"uri", line_uri_}, {"version", 3}}}, {"contentChanges", {{{"text", kLineFixed}}}}});
  EXPECT_EQ(client.diagnostics_for(line_uri_)["diagnostics"], json::array());
  EXPECT_EQ(client.diagnostics_for(train_uri_)["diagnostics"][0]["code"], 8);

  // The partner grown past the limit on disk: the open line file says so.
  std::string train = kTrain;
  while (train.size() <= 400) train.insert(train.rfind("[fine]"), "; a comment\r\n");
  sb::test::write_bytes(train_path_, train);
  client.notify("workspace/didChangeWatchedFiles", {{"changes", {{{"uri", train_uri_}, {"type", 2}}}}});
  published = client.diagnostics_for(line_uri_);
  ASSERT_EQ(published["diagnostics"].size(), 1u) << published;
  EXPECT_THAT(published["diagnostics"][0]["message"].get<std::string>(),
              HasSubstr(train_path_ + " is " + std::to_string(train.size()) + " bytes"));

  client.request(3, "shutdown");
  client.answer(3);
  client.notify("exit", json::object());
  EXPECT_EQ(client.finish(), 0) << client.log();
}

// A partner saved as UTF-16 is refused at its line 1 as compile refuses
// it, whichever byte order.
TEST_F(LspPair, APartnerWrittenAsUtf16IsRefusedAtItsFirstLine) {
  for (const bool big : {false, true}) {
    std::string utf16 = big ? "\xFE\xFF" : "\xFF\xFE";
    for (const char c : std::string(kTrain)) utf16 += big ? std::string{'\0', c} : std::string{c, '\0'};
    sb::test::write_bytes(train_path_, utf16);
    PipeClient client;
    client.request(1, "initialize", {{"capabilities", json::object()}});
    client.answer(1);
    client.notify("textDocument/didOpen", open(line_uri_, kLineFixed));
    const json published = client.diagnostics_for(train_uri_);
    ASSERT_EQ(published["diagnostics"].size(), 1u) << published;
    const json& d = published["diagnostics"][0];
    EXPECT_EQ(d["code"], 104);
    EXPECT_EQ(d["range"]["start"]["line"], 0);
    EXPECT_THAT(d["message"].get<std::string>(), ::testing::HasSubstr(big ? "UTF-16BE" : "UTF-16LE"));
    client.request(2, "shutdown");
    client.answer(2);
    client.notify("exit", json::object());
    EXPECT_EQ(client.finish(), 0) << client.log();
  }
}

TEST_F(LspPair, AnswersEveryMessageItCannotUseAndKeepsServing) {
  PipeClient client;
  client.send_raw("Content-Length: x\r\n\r\n");
  EXPECT_EQ(client.receive()["error"]["code"], -32700);
  client.send_raw(sb::lsp::frame_message("not json"));
  EXPECT_EQ(client.receive()["error"]["code"], -32700);
  client.send_raw(sb::lsp::frame_message("[1,2]"));
  EXPECT_EQ(client.receive()["error"]["code"], -32600);
  client.send({{"jsonrpc", "2.0"}, {"id", 3}, {"method", 7}});
  EXPECT_EQ(client.answer(3)["error"]["code"], -32600);
  client.request(4, "textDocument/hover", {{"textDocument", 5}});
  EXPECT_EQ(client.answer(4)["error"]["code"], -32602);
  client.request(5, "no/such/method");
  EXPECT_EQ(client.answer(5)["error"]["code"], -32601);

  // Positions past the text, a change past the end, a file nothing pairs.
  client.notify("textDocument/didOpen", open(line_uri_, kLineWithCollision));
  const json past_the_end =
      json::parse(R"({"range":{"start":{"line":900,"character":4},"end":{"line":2,"character":0}},"text":"\u00e8"})");
  client.notify("textDocument/didChange", {{"textDocument", {{"uri", line_uri_}, {"version", 2}}},
                                           {"contentChanges", json::array({past_the_end})}});
  client.request(6, "textDocument/hover",
                 {{"textDocument", {{"uri", line_uri_}}}, {"position", {{"line", 4000000000u}, {"character", 9}}}});
  EXPECT_EQ(client.answer(6)["result"], nullptr);
  client.request(7, "textDocument/completion",
                 {{"textDocument", {{"uri", line_uri_}}}, {"position", {{"line", 1}, {"character", 1u << 31}}}});
  EXPECT_TRUE(client.answer(7)["result"].is_array());
  client.request(8, "textDocument/definition",
                 {{"textDocument", {{"uri", "file:///nowhere/x.txt"}}}, {"position", {{"line", 0}, {"character", 0}}}});
  EXPECT_EQ(client.answer(8)["result"], nullptr);

  // Still serving.
  client.request(9, "initialize", {{"capabilities", json::object()}});
  EXPECT_TRUE(client.answer(9)["result"].contains("capabilities"));
  // The client going away without exit ends the server with status 1.
  EXPECT_EQ(client.finish(), 1);
}

// After a damaged header the server skips that message's body and reads
// the shutdown and exit that follow: it ends with status 0.
TEST_F(LspPair, ShutsDownAfterAFramingError) {
  PipeClient client;
  client.send_raw("Content-Length: 1O\r\n\r\n{\"jsonrpc\":\"2.0\",\"id\":1,\"method\":\"initialize\"}");
  EXPECT_EQ(client.receive()["error"]["code"], -32700);
  client.request(2, "shutdown");
  EXPECT_TRUE(client.answer(2).contains("result"));
  client.notify("exit", json::object());
  EXPECT_EQ(client.finish(), 0) << client.log();
}

// --- What it answers about a pair -------------------------------------

class LspFeatures : public LspPair {
 protected:
  json call(const std::string& method, json params) {
    const std::string body =
        json({{"jsonrpc", "2.0"}, {"id", ++id_}, {"method", method}, {"params", std::move(params)}}).dump();
    for (const std::string& reply : server_.handle(body, sb::lsp::Clock::now())) {
      const json m = json::parse(reply);
      if (m.value("id", json()) == id_) return m.value("result", json());
    }
    return nullptr;
  }
  json at(const std::string& uri, int line, int character) {
    return {{"textDocument", {{"uri", uri}}}, {"position", {{"line", line}, {"character", character}}}};
  }
  void open_both() {
    call("initialize", {{"capabilities", json::object()}});
    server_.handle(
        json({{"jsonrpc", "2.0"}, {"method", "textDocument/didOpen"}, {"params", open(line_uri_, kLineWithCollision)}})
            .dump(),
        sb::lsp::Clock::now());
  }

  // The outline's name of the board on line `line`, as `server` gives it.
  std::string board_name_on_line(sb::lsp::Server& server, int line) {
    const json request = {{"jsonrpc", "2.0"},
                          {"id", 3},
                          {"method", "textDocument/documentSymbol"},
                          {"params", {{"textDocument", {{"uri", line_uri_}}}}}};
    const json symbols = json::parse(server.handle(request.dump(), sb::lsp::Clock::now()).back())["result"];
    for (const json& section : symbols) {
      for (const json& child : section["children"]) {
        if (child["range"]["start"]["line"] == line) return child["name"];
      }
    }
    return {};
  }

  std::ostringstream log_;
  sb::lsp::Server server_{{}, log_};
  int id_ = 0;
};

TEST_F(LspFeatures, HoverDefinitionAndQuickFixes) {
  open_both();
  // Hover on a board's position: its cell, and what it put in the compiled cells.
  const json hover = call("textDocument/hover", at(line_uri_, 3, 23));
  EXPECT_THAT(hover["contents"]["value"].get<std::string>(),
              HasSubstr("**cartello_indicatore** (a line-side board with its lettering) at 1300 m\n\n"
                        "- cell 27, the 50 m from 1325 to 1375 m"));
  EXPECT_THAT(hover["contents"]["value"].get<std::string>(), HasSubstr("- cell 27: line board: slot 80"));
  // On the keyword: the record's values.
  EXPECT_THAT(call("textDocument/hover", at(train_uri_, 6, 2))["contents"]["value"].get<std::string>(),
              HasSubstr("3. `length`: metres, a multiple of 100"));

  // The refused board leads to the board that holds its cell.
  const json definition = call("textDocument/definition", at(line_uri_, 4, 2));
  EXPECT_EQ(definition["uri"], line_uri_);
  EXPECT_EQ(definition["range"]["start"]["line"], 3);

  // The station on 1020 m is rounded to 1000 m.
  const json actions =
      call("textDocument/codeAction",
           {{"textDocument", {{"uri", train_uri_}}},
            {"range", {{"start", {{"line", 6}, {"character", 0}}}, {"end", {{"line", 6}, {"character", 0}}}}},
            {"context", {{"diagnostics", json::array()}}}});
  ASSERT_EQ(actions.size(), 1u) << actions;
  EXPECT_EQ(actions[0]["title"], "Round the station position to 1000 m");
  EXPECT_EQ(
      actions[0]["edit"]["changes"][train_uri_][0],
      json::parse(R"({"newText":"1000","range":{"start":{"line":6,"character":11},"end":{"line":6,"character":15}}})"));
}

TEST_F(LspFeatures, CompletionOffersTheKeywordsOfThePartAndTheOutlineFollowsTheSections) {
  open_both();
  std::vector<std::string> labels;
  for (const json& item : call("textDocument/completion", at(line_uri_, 1, 0))) labels.push_back(item["label"]);
  for (const char* label :
       {"lunghezza percorso", "progressiva chilometrica uno", "ripetizione segnali 4 codici", "[curve]"}) {
    EXPECT_THAT(labels, ::testing::Contains(label));
  }
  EXPECT_THAT(labels, ::testing::Not(::testing::Contains("pendenza")));
  // No completion among the values.
  EXPECT_EQ(call("textDocument/completion", at(line_uri_, 3, 25)), json::array());

  const json symbols = call("textDocument/documentSymbol", {{"textDocument", {{"uri", line_uri_}}}});
  ASSERT_EQ(symbols.size(), 3u) << symbols;
  EXPECT_EQ(symbols[1]["name"], "[indicazioni]");
  EXPECT_EQ(symbols[1]["children"][0]["name"], "cartello_indicatore (   P.L.  )(km 1+300)");
  EXPECT_EQ(symbols[1]["children"][0]["detail"], "1300 m");
}

TEST_F(LspFeatures, ARequestRightAfterAChangeAnswersFromTheNewTextAndPublishesItsDiagnostics) {
  open_both();
  server_.check_due(sb::lsp::Clock::now());
  const json change = {
      {"jsonrpc", "2.0"},
      {"method", "textDocument/didChange"},
      {"params",
       {{"textDocument", {{"uri", line_uri_}, {"version", 2}}}, {"contentChanges", {{{"text", kLineFixed}}}}}}};
  EXPECT_EQ(server_.handle(change.dump(), sb::lsp::Clock::now()), std::vector<std::string>{});
  const json hover = {
      {"jsonrpc", "2.0"}, {"id", 1}, {"method", "textDocument/hover"}, {"params", at(line_uri_, 4, 23)}};
  const std::vector<std::string> replies = server_.handle(hover.dump(), sb::lsp::Clock::now());
  ASSERT_EQ(replies.size(), 3u);  // both files' diagnostics, then the answer
  EXPECT_THAT(replies[0], HasSubstr(R"("diagnostics":[])"));
  EXPECT_THAT(replies[2], HasSubstr("at 1400 m"));
  EXPECT_EQ(server_.next_check(), std::nullopt);
}

// A character outside ASCII counts 2 bytes in UTF-8 and 1 unit in UTF-16:
// the tab after "Città" is at column 37 or 36; the outline shows the
// board's text as written.
TEST_F(LspFeatures, ColumnsFollowTheNegotiatedEncoding) {
  const std::string line =
      "[generale]\r\nlunghezza percorso,  3000\r\n[indicazioni]\r\n"
      "cartello_indicatore,  1300,  (Citt\xC3\xA0)\t\r\n[fine]\r\n";
  for (const bool utf8 : {true, false}) {
    std::ostringstream log;
    sb::lsp::Server server({}, log);
    json capabilities = json::object();
    if (utf8) capabilities["general"]["positionEncodings"] = {"utf-8"};
    auto send = [&](json message) { return server.handle(message.dump(), sb::lsp::Clock::now()); };
    send({{"jsonrpc", "2.0"}, {"id", 1}, {"method", "initialize"}, {"params", {{"capabilities", capabilities}}}});
    send({{"jsonrpc", "2.0"}, {"method", "textDocument/didOpen"}, {"params", open(line_uri_, line)}});
    json request = json::parse(R"({"jsonrpc":"2.0","id":2,"method":"textDocument/codeAction","params":{
        "range":{"start":{"line":3,"character":0},"end":{"line":3,"character":0}}}})");
    request["params"]["textDocument"]["uri"] = line_uri_;
    const std::vector<std::string> replies = send(request);
    const json actions = json::parse(replies.back())["result"];
    ASSERT_EQ(actions.size(), 1u) << actions;
    EXPECT_EQ(actions[0]["title"], "Replace tabs with blanks");
    EXPECT_EQ(actions[0]["edit"]["changes"][line_uri_][0]["range"]["start"]["character"], utf8 ? 37 : 36);
    EXPECT_THAT(board_name_on_line(server, 3), HasSubstr("(Citt\xC3\xA0)"));
  }
}

TEST(LspNaming, FindsThePartnerByTheNamingRule) {
  sb::test::TempDir dir;
  ASSERT_TRUE(dir.created());
  for (const char* name : {"Via_Nord_linea.txt", "Via_Nord_200-.txt", "Via_Nord_100-.txt", "Altro_5-.txt"}) {
    sb::test::write_bytes(dir.path() / name, "");
  }
  const std::string d = dir.path().string() + "/";
  EXPECT_EQ(sb::lsp::partner_by_rule(d + "Via_Nord_linea.txt"), d + "Via_Nord_100-.txt");
  EXPECT_EQ(sb::lsp::partner_by_rule(d + "Via_Nord_200-.txt"), d + "Via_Nord_linea.txt");
  EXPECT_EQ(sb::lsp::partner_by_rule(d + "notes.txt"), "");
  EXPECT_EQ(sb::lsp::path_of_uri(sb::lsp::uri_of_path("/a b/è%.txt")), "/a b/è%.txt");
}

// A 1000 km line checks within a fraction of a second, as the server does
// it after a change (a misspelt keyword makes it compile twice).
TEST(FullScaleLsp, ChecksA1000KmPairInAFractionOfASecond) {
  const sb::bench::GeneratedScenario s = sb::bench::generate_scenario(1000, 1);
  std::string line = s.line;
  line.replace(line.find("pendenza"), 8, "pendenze");
  std::array<sb::lsp::PairFile, 2> files;
  files[0].path = s.route + "_linea.txt";
  files[0].lines = sb::lsp::TextLines(line);
  files[1].path = s.route + "_" + s.train + "-.txt";
  files[1].lines = sb::lsp::TextLines(s.train_description);
  const auto start = std::chrono::steady_clock::now();
  const sb::lsp::CheckedPair pair = sb::lsp::check_pair(files);
  const double seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
  ASSERT_EQ(pair.findings.size(), 1u);
  EXPECT_EQ(pair.findings[0].diagnostic.name, "unknown-field");
  EXPECT_LT(seconds, 0.25 * sb::test::kSlowBuildSlack);
}

}  // namespace
