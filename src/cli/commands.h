#pragma once
// The sub-commands of tarnwick-cli. Each returns its exit code or throws a
// CliError; arguments arrive as UTF-8 from the command line.

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "cli/output.h"
#include "cli/session_store.h"

namespace tarnwick::cli {

int login(const Output& out, const std::string& account, bool passwordFromStdin);
int logout(const Output& out);
int whoami(const Output& out);

int listFolders(const Output& out);
int listFiles(const Output& out, std::int32_t folderId, std::optional<int> page);
int search(const Output& out, const std::string& keyword, bool folders);
int link(const Output& out, std::int32_t fileId, bool direct);

int makeFolder(const Output& out, const std::string& name, std::int32_t parentId);
int removeFolder(const Output& out, std::int32_t folderId);
int moveFiles(const Output& out, const std::vector<std::int32_t>& fileIds, std::int32_t targetFolderId);
int removeFiles(const Output& out, const std::vector<std::int32_t>& fileIds);

// Through the core upload and download queues; with retry also the rows an
// earlier run left failed or waiting.
// With recursive, put takes folders (each becomes a cloud folder under
// folderId with its tree) and get takes cloud folder ids (0: the whole
// account) whose trees are made under outDir.
int put(const Output& out, const std::vector<std::string>& files, std::int32_t folderId, bool noInstant,
        bool retry, int parallel = 2, bool recursive = false);
int get(const Output& out, const std::vector<std::int32_t>& fileIds, const std::string& outDir, bool rename,
        bool retry, int parallel = 3, bool recursive = false);

// The command line's queued rows of both kinds (put's and get's), and
// changes to them: verb "hold", "resume", "rm" (rows) or "move" (one row,
// to "top", "bottom" or a position from 1). While a put or get of the kind
// runs, the change is sent to it and applied within about a second.
int listQueue(const Output& out);
int changeQueue(const Output& out, const std::string& verb, const std::vector<std::uint64_t>& rows,
                const std::string& to);

// The stored session, its cookies put into the request engine's store.
// Throws CliError (refused) when nobody is logged in or the session belongs
// to another host name.
StoredSession requireSession();

}  // namespace tarnwick::cli
