#include "cli/manual.h"

#include <sstream>

namespace tarnwick::cli {
namespace {

// Text for a roff line: backslashes and hyphens escaped, a leading dot or
// quote kept from being read as a request.
std::string roff(const std::string& text) {
  std::string out;
  for (char c : text) {
    if (c == '\\')
      out += "\\e";
    else if (c == '-')
      out += "\\-";
    else
      out += c;
  }
  if (!out.empty() && (out[0] == '.' || out[0] == '\'')) out.insert(0, "\\&");
  return out;
}

// "\fB\-o\fR, \fB\-\-output\fR \fIDIR\fR"
std::string optionTerm(const CLI::Option* o) {
  std::string term;
  auto add = [&](const std::string& name) {
    if (!term.empty()) term += ", ";
    term += "\\fB" + roff(name) + "\\fR";
  };
  for (const std::string& s : o->get_snames()) add("-" + s);
  for (const std::string& l : o->get_lnames()) add("--" + l);
  if (o->get_expected_max() != 0) {
    std::string type = o->get_type_name();
    if (type.empty()) type = "VALUE";
    term += " \\fI" + roff(type) + "\\fR";
  }
  return term;
}

std::string positionalTerm(const CLI::Option* o) {
  std::string term = "\\fI" + roff(o->get_name()) + "\\fR";
  if (o->get_expected_max() > 1) term += " ...";
  if (!o->get_required()) term = "[" + term + "]";
  return term;
}

void options(std::ostringstream& s, const CLI::App& app, bool skipInherited) {
  for (const CLI::Option* o : app.get_options()) {
    if (o->get_group().empty() || !o->nonpositional()) continue;
    // --help and --help-all reach every sub-command: told once, under OPTIONS.
    if (skipInherited && (o == app.get_help_ptr() || o == app.get_help_all_ptr())) continue;
    s << ".TP\n" << optionTerm(o) << "\n" << roff(o->get_description()) << "\n";
  }
}

}  // namespace

std::string manualPage(const CLI::App& app, const std::string& version, const std::string& introduction) {
  std::ostringstream s;
  const std::string name = app.get_name();
  std::string summary = app.get_description();
  if (!summary.empty() && summary.back() == '.') summary.pop_back();
  std::string upper = name;
  for (char& c : upper) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
  s << ".TH " << roff(upper) << " 1 \"\" \"" << roff(name + " " + version) << "\" \"User Commands\"\n"
    << ".SH NAME\n"
    << roff(name) << " \\- " << roff(summary) << "\n"
    << ".SH SYNOPSIS\n"
    << ".B " << roff(name) << "\n[\\fIOPTIONS\\fR] \\fICOMMAND\\fR [\\fIARGUMENTS\\fR]\n"
    << ".SH DESCRIPTION\n"
    << roff(introduction) << "\n.PP\n"
    << roff(app.get_footer()) << "\n"
    << ".SH OPTIONS\n"
    << "The options may stand before or after the command.\n";
  options(s, app, false);
  s << ".SH COMMANDS\n";
  for (const CLI::App* sub : app.get_subcommands([](const CLI::App*) { return true; })) {
    if (sub->get_group().empty()) continue;
    s << ".SS \"" << roff(sub->get_name());
    for (const CLI::Option* o : sub->get_options())
      if (!o->nonpositional()) s << " " << positionalTerm(o);
    s << "\"\n" << roff(sub->get_description()) << "\n";
    for (const CLI::Option* o : sub->get_options()) {
      if (o->nonpositional()) continue;
      s << ".TP\n"
        << "\\fI" << roff(o->get_name()) << "\\fR\n"
        << roff(o->get_description()) << "\n";
    }
    options(s, *sub, true);
  }
  return s.str();
}

}  // namespace tarnwick::cli
