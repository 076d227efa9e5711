#include "cli/completion.h"

#include <algorithm>
#include <sstream>
#include <vector>

namespace tarnwick::cli {
namespace {

enum class ValueKind { None, Any, Path, Folder, Level };

struct Flag {
  std::vector<std::string> names;  // "-o", "--output"
  std::string description;
  ValueKind value = ValueKind::None;
};

struct Command {
  std::string name, description;
  std::vector<Flag> flags;
  ValueKind positional = ValueKind::None;  // what its positional arguments are
};

ValueKind kindOf(const CLI::Option* o) {
  if (o->get_expected_max() == 0) return ValueKind::None;  // a flag
  const std::string type = o->get_type_name();
  if (type == kPathType) return ValueKind::Path;
  if (type == kFolderType) return ValueKind::Folder;
  if (o->get_lnames().size() == 1 && o->get_lnames()[0] == "log-level") return ValueKind::Level;
  return ValueKind::Any;
}

void readOptions(const CLI::App& app, std::vector<Flag>& flags, ValueKind* positional) {
  for (const CLI::Option* o : app.get_options()) {
    if (o->get_group().empty()) continue;  // hidden
    if (!o->nonpositional()) {
      if (positional) *positional = kindOf(o);
      continue;
    }
    Flag f;
    for (const std::string& s : o->get_snames()) f.names.push_back("-" + s);
    for (const std::string& l : o->get_lnames()) f.names.push_back("--" + l);
    if (f.names.empty()) continue;
    f.description = o->get_description();
    f.value = kindOf(o);
    flags.push_back(std::move(f));
  }
}

struct Definition {
  std::vector<Flag> global;
  std::vector<Command> commands;
};

Definition read(const CLI::App& app) {
  Definition d;
  readOptions(app, d.global, nullptr);
  for (const CLI::App* sub : app.get_subcommands([](const CLI::App*) { return true; })) {
    if (sub->get_group().empty()) continue;
    Command c{sub->get_name(), sub->get_description(), {}, ValueKind::None};
    readOptions(*sub, c.flags, &c.positional);
    // --help and --help-all reach every sub-command; they are offered once,
    // with the global options.
    std::erase_if(c.flags, [&](const Flag& f) {
      return std::any_of(d.global.begin(), d.global.end(), [&](const Flag& g) { return g.names == f.names; });
    });
    d.commands.push_back(std::move(c));
  }
  return d;
}

std::string levels() {
  std::string out;
  for (const char* l : kLogLevelNames) out += std::string(out.empty() ? "" : " ") + l;
  return out;
}

std::string joinNames(const std::vector<Flag>& flags) {
  std::string out;
  for (const Flag& f : flags)
    for (const std::string& n : f.names) out += (out.empty() ? "" : " ") + n;
  return out;
}

// --- bash -------------------------------------------------------------------

// Local names, one per line so that a blank inside a name does not split it.
constexpr const char* kBashFiles = "compopt -o filenames 2>/dev/null; mapfile -t COMPREPLY < <(compgen -f -- \"$cur\")";
constexpr const char* kBashFolders =
    "compopt -o filenames 2>/dev/null; mapfile -t COMPREPLY < <(compgen -d -- \"$cur\")";

std::string bash(const Definition& d) {
  std::ostringstream s;
  std::string names;
  for (const Command& c : d.commands) names += (names.empty() ? "" : " ") + c.name;
  s << "# bash completion for tarnwick-cli (written by tarnwick-cli --completion bash)\n"
    << "_tarnwick_cli() {\n"
    << "  local cur=${COMP_WORDS[COMP_CWORD]} prev=${COMP_WORDS[COMP_CWORD-1]} cmd= i\n"
    << "  for ((i = 1; i < COMP_CWORD; i++)); do\n"
    << "    case ${COMP_WORDS[i]} in\n"
    << "      " <<
      [&] {
        std::string alt;
        for (const Command& c : d.commands) alt += (alt.empty() ? "" : "|") + c.name;
        return alt;
      }()
    << ") cmd=${COMP_WORDS[i]}; break ;;\n"
    << "    esac\n"
    << "  done\n"
    << "  COMPREPLY=()\n"
    << "  case \"$cmd $prev\" in\n";
  // After an option that takes a value: what that value can be. A global
  // option matches whatever sub-command came before it.
  auto valueCase = [&](const std::string& cmd, const Flag& f) {
    for (const std::string& n : f.names) {
      s << "    " << (cmd.empty() ? "*\" " + n + "\"" : "\"" + cmd + " " + n + "\"") << ")";
      switch (f.value) {
        case ValueKind::Path:
          s << " " << kBashFiles;
          break;
        case ValueKind::Folder:
          s << " " << kBashFolders;
          break;
        case ValueKind::Level:
          s << " COMPREPLY=($(compgen -W \"" << levels() << "\" -- \"$cur\"))";
          break;
        default:
          s << " :";
          break;
      }
      s << "; return ;;\n";
    }
  };
  for (const Flag& f : d.global)
    if (f.value != ValueKind::None) valueCase("", f);
  for (const Command& c : d.commands)
    for (const Flag& f : c.flags)
      if (f.value != ValueKind::None) valueCase(c.name, f);
  s << "  esac\n"
    << "  case $cmd in\n"
    << "    '') COMPREPLY=($(compgen -W \"" << names << " " << joinNames(d.global) << "\" -- \"$cur\")) ;;\n";
  for (const Command& c : d.commands) {
    s << "    " << c.name << ")\n"
      << "      if [[ $cur == -* ]]; then\n"
      << "        COMPREPLY=($(compgen -W \"" << joinNames(c.flags) << " " << joinNames(d.global)
      << "\" -- \"$cur\"))\n";
    if (c.positional == ValueKind::Path)
      s << "      else\n        " << kBashFiles << "\n";
    else if (c.positional == ValueKind::Folder)
      s << "      else\n        " << kBashFolders << "\n";
    s << "      fi ;;\n";
  }
  s << "  esac\n"
    << "}\n"
    << "complete -F _tarnwick_cli tarnwick-cli\n";
  return s.str();
}

// --- zsh --------------------------------------------------------------------

// Inside single quotes: a quote closes, escapes and reopens them.
std::string zshQuoted(const std::string& text) {
  std::string out = "'";
  for (char c : text) out += c == '\'' ? std::string("'\\''") : std::string(1, c);
  return out + "'";
}

std::string zshValue(ValueKind k) {
  switch (k) {
    case ValueKind::Path:
      return ":file:_files";
    case ValueKind::Folder:
      return ":folder:_files -/";
    case ValueKind::Level:
      return ":level:(" + levels() + ")";
    case ValueKind::Any:
      return ":value: ";
    case ValueKind::None:
      break;
  }
  return "";
}

// One _arguments entry per name: "(-o
// --output)--output[description]:folder:_files -/".
void zshFlags(std::ostringstream& s, const std::vector<Flag>& flags, const char* indent) {
  for (const Flag& f : flags) {
    std::string exclusive;
    for (const std::string& n : f.names) exclusive += (exclusive.empty() ? "" : " ") + n;
    std::string desc = f.description;
    for (char& c : desc)
      if (c == '[' || c == ']') c = c == '[' ? '(' : ')';
    for (const std::string& n : f.names)
      s << indent << zshQuoted("(" + exclusive + ")" + n + "[" + desc + "]" + zshValue(f.value)) << " \\\n";
  }
}

std::string zsh(const Definition& d) {
  std::ostringstream s;
  s << "#compdef tarnwick-cli\n"
    << "# zsh completion for tarnwick-cli (written by tarnwick-cli --completion zsh)\n"
    << "_tarnwick-cli() {\n"
    << "  local curcontext=$curcontext state line\n"
    << "  local -a commands\n"
    << "  commands=(\n";
  for (const Command& c : d.commands) {
    std::string desc = c.description;
    for (char& ch : desc)
      if (ch == ':') ch = ',';
    s << "    " << zshQuoted(c.name + ":" + desc) << "\n";
  }
  s << "  )\n"
    << "  _arguments -C \\\n";
  zshFlags(s, d.global, "    ");
  s << "    '1: :->command' \\\n"
    << "    '*:: :->args'\n"
    << "  case $state in\n"
    << "    command) _describe -t commands 'tarnwick-cli command' commands ;;\n"
    << "    args)\n"
    << "      case $words[1] in\n";
  for (const Command& c : d.commands) {
    s << "        " << c.name << ")\n          _arguments \\\n";
    zshFlags(s, c.flags, "            ");
    zshFlags(s, d.global, "            ");
    s << "            '*:" << (c.positional == ValueKind::Path ? "file:_files" : "argument: ") << "' ;;\n";
  }
  s << "      esac ;;\n"
    << "  esac\n"
    << "}\n"
    << "_tarnwick-cli \"$@\"\n";
  return s.str();
}

// --- fish -------------------------------------------------------------------

std::string fishQuoted(const std::string& text) {
  std::string out = "'";
  for (char c : text) {
    if (c == '\'' || c == '\\') out += '\\';
    out += c;
  }
  return out + "'";
}

void fishFlags(std::ostringstream& s, const std::vector<Flag>& flags, const std::string& condition) {
  for (const Flag& f : flags) {
    s << "complete -c tarnwick-cli";
    if (!condition.empty()) s << " -n " << fishQuoted(condition);
    for (const std::string& n : f.names) s << (n.rfind("--", 0) == 0 ? " -l " + n.substr(2) : " -s " + n.substr(1));
    switch (f.value) {
      case ValueKind::Path:
        s << " -r -F";
        break;
      case ValueKind::Folder:
        s << " -x -a '(__fish_complete_directories)'";
        break;
      case ValueKind::Level:
        s << " -x -a " << fishQuoted(levels());
        break;
      case ValueKind::Any:
        s << " -x";
        break;
      case ValueKind::None:
        break;
    }
    s << " -d " << fishQuoted(f.description) << "\n";
  }
}

std::string fish(const Definition& d) {
  std::ostringstream s;
  std::string names;
  for (const Command& c : d.commands) names += (names.empty() ? "" : " ") + c.name;
  s << "# fish completion for tarnwick-cli (written by tarnwick-cli --completion fish)\n"
    << "complete -c tarnwick-cli -f\n";
  fishFlags(s, d.global, "");
  for (const Command& c : d.commands) {
    s << "complete -c tarnwick-cli -n " << fishQuoted("not __fish_seen_subcommand_from " + names) << " -a " << c.name
      << " -d " << fishQuoted(c.description) << "\n";
    const std::string inCommand = "__fish_seen_subcommand_from " + c.name;
    fishFlags(s, c.flags, inCommand);
    if (c.positional == ValueKind::Path) s << "complete -c tarnwick-cli -n " << fishQuoted(inCommand) << " -F\n";
  }
  return s.str();
}

}  // namespace

std::string completionScript(const CLI::App& app, std::string_view shell) {
  const Definition d = read(app);
  if (shell == "bash") return bash(d);
  if (shell == "zsh") return zsh(d);
  if (shell == "fish") return fish(d);
  return {};
}

}  // namespace tarnwick::cli
