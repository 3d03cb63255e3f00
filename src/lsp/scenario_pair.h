// The two description files that make one scenario, as the editor sees
// them: each file's text (the editor's, when it holds the file open;
// otherwise read from disk), and the last check of the pair with what it
// compiled, which hover, definition and the quick fixes look up.
#pragma once

#include <array>
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "base/diagnostics.h"
#include "compile/check.h"
#include "lsp/text_lines.h"
#include "reader/record_keywords.h"

namespace sb::lsp {

enum class FileRole { kLine, kTrain };

// What a file name says by the naming rule: ROUTE_linea.txt is a line
// file, ROUTE_TRAIN-.txt a train file.
struct NamedFile {
  FileRole role = FileRole::kLine;
  std::string route;
  std::string train;  // train files only
};
std::optional<NamedFile> name_by_rule(const std::string& path);
// The partner of a file by the naming rule: the line file of a train file,
// and for a line file its train file in the same directory (the first by
// name when there are several). Empty when none is found.
std::string partner_by_rule(const std::string& path);

// file:// URIs and paths.
std::string path_of_uri(const std::string& uri);
std::string uri_of_path(const std::string& path);

// One finding of the check, placed on a line and a field of it.
struct Finding {
  std::size_t file = 0;            // 0 the line file, 1 the train file
  int line = 0;                    // from 1; 0: the file as a whole
  std::size_t begin = 0, end = 0;  // bytes of the line the finding is about
  Diagnostic diagnostic;
  bool root_cause = false;
  struct Related {
    std::size_t file = 0;
    int line = 0;
    std::string message;
  };
  std::vector<Related> related;
};

struct PairFile {
  std::string path;
  std::string uri;
  TextLines lines;  // UTF-8
  bool open = false;
  bool exists = true;  // false: no such file (a partner not found)
  int version = 0;
};

struct CheckedPair {
  std::array<PairFile, 2> files;
  std::vector<Finding> findings;
  std::optional<CheckResult> result;
  // Which part of the file each line stands in: its keyword table, or none
  // before "[generale]".
  std::array<std::vector<std::optional<RecordPart>>, 2> parts;
};

// Checks the pair; `files` hold the texts as the editor has them.
CheckedPair check_pair(std::array<PairFile, 2> files, std::size_t max_errors = 50);

// The record a line of a file holds: its keyword row, or none.
const RecordKeyword* record_of_line(const CheckedPair& pair, std::size_t file, std::size_t line);

}  // namespace sb::lsp
