// scenario-builder lsp: the language server for editors, over standard
// input and output.
#pragma once

namespace sb {

inline constexpr const char* kLspFooter = R"(Speaks the Language Server Protocol on standard input and output and logs
to standard error. Editors start it for files named ROUTE_linea.txt and
ROUTE_TRAIN-.txt; each file is checked together with its partner.
Exit status: 0 after the client's shutdown and exit, 1 otherwise.)";

int run_language_server();

}  // namespace sb
