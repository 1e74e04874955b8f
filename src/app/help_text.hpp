// The help texts of the command line: the overview and each command's usage.
#pragma once

#include <string>

namespace ulo {

// The text of --help: an overview of the commands and options.
std::string usage_text();
// The text of `ulocfg COMMAND --help`; "" for a word that is no command.
std::string command_usage(const std::string& command);

} // namespace ulo
