#pragma once
// The manual page tarnwick-cli(1) in roff, written from the program's own
// sub-command and option definitions (`tarnwick-cli --manual`): NAME,
// SYNOPSIS, DESCRIPTION, OPTIONS and COMMANDS with every option and
// argument. The build appends the hand-written sections (exit status,
// environment, files, examples) and installs the result.

#include <CLI/CLI.hpp>
#include <string>

namespace tarnwick::cli {

// introduction opens the DESCRIPTION, followed by the program's help footer.
std::string manualPage(const CLI::App& app, const std::string& version, const std::string& introduction);

}  // namespace tarnwick::cli
