#pragma once
// Shell completion scripts for tarnwick-cli, written from the program's own
// sub-command and option definitions, so they always offer the flags the
// program takes. Run as `tarnwick-cli --completion bash|zsh|fish`; the build
// installs the three scripts where the shells look for them.
//
// What a script offers: the sub-commands and global options first; after a
// sub-command its options (and the global ones); local files for an
// argument whose type name is kPathType, folders for kFolderType, the
// values of kLogLevelNames after --log-level.

#include <CLI/CLI.hpp>
#include <array>
#include <string>
#include <string_view>

namespace tarnwick::cli {

inline constexpr const char* kPathType = "PATH";
inline constexpr const char* kFolderType = "DIR";
inline constexpr std::array<const char*, 4> kLogLevelNames = {"error", "warning", "info", "debug"};

// The script for "bash", "zsh" or "fish"; empty for any other shell.
std::string completionScript(const CLI::App& app, std::string_view shell);

}  // namespace tarnwick::cli
