// What the server answers about a checked pair, as protocol JSON: the
// diagnostics of one file, hover, completion, the outline, definition and
// quick fixes. Lines and columns are the protocol's (from 0, columns in
// the negotiated encoding).
#pragma once

#include <cstddef>

#include <nlohmann/json.hpp>

#include "lsp/scenario_pair.h"
#include "lsp/text_lines.h"

namespace sb::lsp {

using json = nlohmann::json;

json diagnostics_of(const CheckedPair& pair, std::size_t file, PositionEncoding encoding);
json hover_at(const CheckedPair& pair, std::size_t file, std::size_t line, std::size_t column,
              PositionEncoding encoding);
json completion_at(const CheckedPair& pair, std::size_t file, std::size_t line, std::size_t column,
                   PositionEncoding encoding);
json document_symbols(const CheckedPair& pair, std::size_t file, PositionEncoding encoding);
json definition_at(const CheckedPair& pair, std::size_t file, std::size_t line, std::size_t column,
                   PositionEncoding encoding);
json code_actions(const CheckedPair& pair, std::size_t file, std::size_t first_line, std::size_t last_line,
                  PositionEncoding encoding);

}  // namespace sb::lsp
