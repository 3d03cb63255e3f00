#include "commands/lsp_command.h"

#include <unistd.h>

#include <iostream>

#include "lsp/server.h"

namespace sb {

int run_language_server() { return lsp::serve(STDIN_FILENO, STDOUT_FILENO, std::cerr); }

}  // namespace sb
