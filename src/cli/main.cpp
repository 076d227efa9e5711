// tarnwick-cli: the Tarnwick client for terminals, scripts and servers.
#include <CLI/CLI.hpp>
#include <cstdio>
#include <cstring>

#include "app/command_line.h"
#include "cli/commands.h"
#include "cli/completion.h"
#include "cli/exit_codes.h"
#include "cli/manual.h"
#include "log/log_file.h"
#include "transfer/rate_limit.h"
#include "version.h"

using namespace tarnwick::cli;
namespace tlog = tarnwick::log;

int main(int argc, char** argv) {
  CLI::App app{"Tarnwick cloud storage from the command line.", "tarnwick-cli"};
  app.footer(
      "Results go to standard output: tab-separated UTF-8 lines, or one JSON document with --json. Progress and "
      "diagnostics go to standard error; --quiet leaves only the errors. Exit codes: 0 done, 1 bad usage, 2 the "
      "service could not be reached, 3 the service refused, 4 a local file could not be read or written, 5 some "
      "files of a batch failed, 130 interrupted.");
  app.require_subcommand(1);
  app.fallthrough();  // the global options may stand before or after the sub-command
  app.set_version_flag("--version", tarnwick::app::versionText("tarnwick-cli"));
  app.set_help_all_flag("--help-all", "Print the help of every sub-command and exit");
  Output out;
  app.add_flag("--json", out.json, "Print the result as JSON");
  app.add_flag("-q,--quiet", out.quiet, "No progress on standard error (results and errors still appear)");
  bool verbose = false;
  std::string logLevel;
  app.add_flag("-v,--verbose", verbose,
               "Write the log file (info level): $XDG_STATE_HOME/tarnwick/log/tarnwick-cli.log");
  app.add_option("--log-level", logLevel, "Write a log file at this level: error, warning, info or debug")
      ->check(CLI::IsMember(std::vector<std::string>(kLogLevelNames.begin(), kLogLevelNames.end())));
  // Speed limits of every upload and every download of this run, together.
  std::string limitUp, limitDown;
  const CLI::Validator rate(
      [](std::string& text) {
        return tarnwick::transfer::parseRate(text) ? std::string()
                                                   : "not a rate: " + text + " (bytes per second; K, M, G suffixes)";
      },
      "");
  app.add_option("--limit-up", limitUp, "Upload speed limit in bytes per second (K, M, G suffixes; 0 = none)")
      ->check(rate)
      ->type_name("RATE");
  app.add_option("--limit-down", limitDown, "Download speed limit in bytes per second (K, M, G suffixes; 0 = none)")
      ->check(rate)
      ->type_name("RATE");
  std::function<int()> run;

  std::string account;
  bool passwordStdin = false;
  auto* login = app.add_subcommand("login", "Log in; later commands use the kept session");
  login->add_option("ACCOUNT", account, "Account name")->required();
  login->add_flag("--password-stdin", passwordStdin, "Read the password from the first line of standard input");
  login->callback([&] { run = [&] { return tarnwick::cli::login(out, account, passwordStdin); }; });

  app.add_subcommand("logout", "Forget the kept session")->callback([&] {
    run = [&] { return logout(out); };
  });
  app.add_subcommand("whoami", "Show who is logged in")->callback([&] { run = [&] { return whoami(out); }; });

  std::int32_t folderId = 0;
  int page = 0;
  auto* ls = app.add_subcommand("ls", "List the folders (id, name, parent id), or the files of a folder (0 = the default folder)");
  auto* folderOption = ls->add_option("FOLDER_ID", folderId, "Folder whose files to list");
  auto* pageOption = ls->add_option("--page", page, "Only this page of the listing (pages count from 0)")
                         ->check(CLI::NonNegativeNumber)
                         ->needs(folderOption);
  ls->callback([&] {
    run = [&] {
      if (!*folderOption) return listFolders(out);
      return listFiles(out, folderId, *pageOption ? std::optional<int>(page) : std::nullopt);
    };
  });

  std::string keyword;
  bool folders = false;
  auto* find = app.add_subcommand("search", "Search your files (or folders) by keyword");
  find->add_option("KEYWORD", keyword, "Keyword")->required();
  find->add_flag("--folders", folders, "Search folders instead of files");
  find->callback([&] { run = [&] { return search(out, keyword, folders); }; });

  std::int32_t fileId = 0;
  bool direct = false;
  auto* linkCmd = app.add_subcommand("link", "Print the share link of a file");
  linkCmd->add_option("ID", fileId, "File id (as ls shows it)")->required();
  linkCmd->add_flag("--direct", direct, "The direct download link instead of the file page");
  linkCmd->callback([&] { run = [&] { return link(out, fileId, direct); }; });

  std::string name;
  std::int32_t parentId = 0;
  auto* mkdir = app.add_subcommand("mkdir", "Create a folder");
  mkdir->add_option("NAME", name, "Name of the new folder")->required();
  mkdir->add_option("--parent", parentId, "Parent folder id (default 0, the top level)");
  mkdir->callback([&] { run = [&] { return makeFolder(out, name, parentId); }; });

  std::int32_t removedFolder = 0;
  auto* rmdir = app.add_subcommand("rmdir", "Delete a folder without subfolders (its files go to the default folder)");
  rmdir->add_option("FOLDER_ID", removedFolder, "Folder id")->required();
  rmdir->callback([&] { run = [&] { return removeFolder(out, removedFolder); }; });

  std::vector<std::int32_t> ids;
  std::int32_t target = 0;
  auto* mv = app.add_subcommand("mv", "Move files into a folder");
  mv->add_option("ID", ids, "File ids")->required();
  mv->add_option("--to", target, "Target folder id")->required();
  mv->callback([&] { run = [&] { return moveFiles(out, ids, target); }; });

  auto* rm = app.add_subcommand("rm", "Delete files");
  rm->add_option("ID", ids, "File ids")->required();
  rm->callback([&] { run = [&] { return removeFiles(out, ids); }; });

  std::vector<std::string> files;
  std::int32_t uploadFolder = 0;
  bool noInstant = false, retry = false, putRecursive = false, getRecursive = false;
  auto* putCmd = app.add_subcommand("put", "Upload files (instantly when the service already holds the content)");
  putCmd->add_option("FILE", files, "Local files (folders with -r)")->type_name(kPathType);
  putCmd->add_flag("-r,--recursive", putRecursive,
                   "Upload folders whole: each becomes a cloud folder under --folder, its tree recreated");
  putCmd->add_option("--folder", uploadFolder, "Target folder id (default 0, the default folder)");
  putCmd->add_flag("--no-instant", noInstant, "Always send the bytes; do not offer the MD5 first");
  putCmd->add_flag("--retry", retry, "Also send again the files an earlier put left failed or waiting");
  int putParallel = 2, getParallel = 3;
  putCmd->add_option("--parallel", putParallel, "Files sent at once, 1-10 (default 2)")->check(CLI::Range(1, 10));
  putCmd->callback([&] {
    if (files.empty() && !retry) throw CLI::RequiredError("FILE");
    run = [&] { return put(out, files, uploadFolder, noInstant, retry, putParallel, putRecursive); };
  });

  std::string outDir = ".";
  bool rename = false;
  auto* getCmd = app.add_subcommand("get", "Download files (a second run continues an interrupted one)");
  getCmd->add_option("FILE_ID", ids, "File ids (as ls shows them); folder ids with -r");
  getCmd->add_flag("-r,--recursive", getRecursive,
                   "Download cloud folders whole (0: the whole account), their trees recreated under the output folder");
  getCmd->add_option("-o,--output", outDir, "Folder to save into (default: the current folder)")
      ->type_name(kFolderType);
  getCmd->add_flag("--rename", rename, "Save under a new name when the name is taken (default: replace)");
  getCmd->add_flag("--retry", retry, "Also continue the files an earlier get left failed or waiting");
  getCmd->add_option("--parallel", getParallel, "Files fetched at once, 1-10 (default 3)")->check(CLI::Range(1, 10));
  getCmd->callback([&] {
    if (ids.empty() && !retry) throw CLI::RequiredError("FILE_ID");
    run = [&] { return get(out, ids, outDir, rename, retry, getParallel, getRecursive); };
  });

  std::vector<std::uint64_t> queueRows;
  std::uint64_t queueRow = 0;
  std::string queueTo;
  auto* queueCmd = app.add_subcommand(
      "queue", "List the files put and get have queued, or change them (a running put or get takes the change)");
  queueCmd->require_subcommand(0, 1);
  const std::pair<const char*, const char*> queueVerbs[] = {
      {"hold", "Hold rows: they do not start (a running one stops, a download keeps its part) until resumed"},
      {"resume", "Let held rows start again"},
      {"rm", "Remove rows that are not running (hold a running row first)"}};
  for (const auto& [verb, help] : queueVerbs) {
    auto* sub = queueCmd->add_subcommand(verb, help);
    sub->add_option("ROW", queueRows, "Rows as queue lists them")->required();
    sub->callback([&, v = std::string(verb)] { run = [&, v] { return changeQueue(out, v, queueRows, ""); }; });
  }
  auto* moveCmd = queueCmd->add_subcommand("move", "Move a row: rows start in list order");
  moveCmd->add_option("ROW", queueRow, "The row as queue lists it")->required();
  moveCmd->add_option("--to", queueTo, "top, bottom or a position from 1 (the top)")->required();
  moveCmd->callback([&] { run = [&] { return changeQueue(out, "move", {queueRow}, queueTo); }; });
  queueCmd->callback([&] {
    if (!run) run = [&] { return listQueue(out); };
  });

  // Not options of the help: the build writes the installed manual page and
  // completion scripts with them.
  if (argc == 2 && std::strcmp(argv[1], "--manual") == 0) {
    const std::string page = manualPage(
        app, TARNWICK_VERSION,
        "tarnwick-cli logs in to the Tarnwick cloud storage service, lists and searches folders and files, prints "
        "share and direct links, creates, moves and deletes, and uploads and downloads files through the same "
        "queues as the desktop client.");
    std::fwrite(page.data(), 1, page.size(), stdout);
    return kExitOk;
  }
  if (argc == 3 && std::strcmp(argv[1], "--completion") == 0) {
    const std::string script = completionScript(app, argv[2]);
    if (script.empty()) {
      printError("no completion for the shell '" + std::string(argv[2]) + "' (bash, zsh or fish)");
      return kExitUsage;
    }
    std::fwrite(script.data(), 1, script.size(), stdout);
    return kExitOk;
  }

  try {
    app.parse(argc, argv);
  } catch (const CLI::ParseError& e) {
    if (e.get_exit_code() == 0) return app.exit(e);  // --help, --help-all, --version
    printError(std::string(e.what()) + " (see --help)");
    return kExitUsage;
  }
  if (!limitUp.empty()) tarnwick::transfer::uploadLimiter().setRate(*tarnwick::transfer::parseRate(limitUp));
  if (!limitDown.empty()) tarnwick::transfer::downloadLimiter().setRate(*tarnwick::transfer::parseRate(limitDown));
  // The log file only when asked for: a script's run leaves no trace.
  if (verbose || !logLevel.empty()) {
    tlog::installFileLog("tarnwick-cli", logLevel.empty() ? tlog::Level::Info : *tlog::parseLevel(logLevel));
    tlog::info(tlog::kCli, "tarnwick-cli " TARNWICK_VERSION ": " + app.get_subcommands().front()->get_name());
  }
  const auto failed = [](const std::string& message, int code) {
    printError(message);
    tlog::error(tlog::kCli, message + " (exit code " + std::to_string(code) + ")");
    return code;
  };
  try {
    const int code = run();
    tlog::info(tlog::kCli, "exit code " + std::to_string(code));
    return code;
  } catch (const CliError& e) {
    return failed(e.what(), e.code());
  } catch (const std::exception& e) {
    return failed(e.what(), kExitLocalFile);
  }
}
