#pragma once
// Runs the built tarnwick-cli as a child process: arguments, standard input
// and environment given, standard output, standard error and exit code
// returned. HOME and XDG_STATE_HOME point into a temporary folder of the
// test; no session bus is passed on, so no keyring is used unless asked for.

#include <fcntl.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <map>
#include <sstream>
#include <string>
#include <vector>

extern char** environ;

struct CliRun {
  int exitCode = -1;
  std::string out, err;
};

class CliRunner {
 public:
  explicit CliRunner(std::string program) : m_program(std::move(program)) {
    char tmpl[] = "/tmp/tarnwick-cli-test.XXXXXX";
    m_dir = ::mkdtemp(tmpl);
    std::filesystem::create_directories(m_dir / "home");
    m_env["HOME"] = (m_dir / "home").string();
    m_env["XDG_STATE_HOME"] = (m_dir / "state").string();
    m_env["DBUS_SESSION_BUS_ADDRESS"] = "";
  }
  ~CliRunner() {
    std::error_code ec;
    std::filesystem::remove_all(m_dir, ec);
  }
  CliRunner(const CliRunner&) = delete;
  CliRunner& operator=(const CliRunner&) = delete;

  const std::filesystem::path& dir() const { return m_dir; }
  std::filesystem::path sessionFile() const { return m_dir / "state" / "tarnwick" / "session.json"; }
  // An environment value for every later run ("" removes the variable).
  void setEnv(const std::string& key, const std::string& value) { m_env[key] = value; }

  CliRun run(const std::vector<std::string>& args, const std::string& input = "",
             const std::map<std::string, std::string>& extraEnv = {}) const {
    const auto in = m_dir / "stdin", out = m_dir / "stdout", err = m_dir / "stderr";
    std::ofstream(in, std::ios::binary) << input;
    std::vector<std::string> argv{m_program};
    argv.insert(argv.end(), args.begin(), args.end());
    std::vector<char*> cargv;
    for (auto& a : argv) cargv.push_back(a.data());
    cargv.push_back(nullptr);

    std::map<std::string, std::string> env;
    for (char** e = environ; *e; ++e) {
      const std::string kv = *e;
      const auto eq = kv.find('=');
      if (eq != std::string::npos) env[kv.substr(0, eq)] = kv.substr(eq + 1);
    }
    for (const auto& [k, v] : m_env) env[k] = v;
    for (const auto& [k, v] : extraEnv) env[k] = v;
    std::vector<std::string> envText;
    for (const auto& [k, v] : env)
      if (!v.empty()) envText.push_back(k + "=" + v);
    std::vector<char*> cenv;
    for (auto& e : envText) cenv.push_back(e.data());
    cenv.push_back(nullptr);

    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addopen(&actions, 0, in.c_str(), O_RDONLY, 0);
    posix_spawn_file_actions_addopen(&actions, 1, out.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
    posix_spawn_file_actions_addopen(&actions, 2, err.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
    // No controlling terminal: a prompt must not wait for a person.
    posix_spawnattr_t attr;
    posix_spawnattr_init(&attr);
    posix_spawnattr_setflags(&attr, POSIX_SPAWN_SETSID);
    CliRun r;
    pid_t pid = 0;
    if (posix_spawn(&pid, m_program.c_str(), &actions, &attr, cargv.data(), cenv.data()) == 0) {
      int status = 0;
      ::waitpid(pid, &status, 0);
      r.exitCode = WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
    }
    posix_spawn_file_actions_destroy(&actions);
    posix_spawnattr_destroy(&attr);
    r.out = slurp(out);
    r.err = slurp(err);
    return r;
  }

 private:
  static std::string slurp(const std::filesystem::path& p) {
    std::ifstream f(p, std::ios::binary);
    std::stringstream s;
    s << f.rdbuf();
    return s.str();
  }

  std::string m_program;
  std::filesystem::path m_dir;
  std::map<std::string, std::string> m_env;
};
