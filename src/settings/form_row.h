#pragma once
// Form operations as data. One FormDef row describes one POST form of the
// service: the checks made on the typed values before anything is sent, the
// query and body fields, which values travel as UTF-8, and what each reply
// code means. Rows are run by submitForm (form_runner.h).
//
// Encodings: control names are identifiers (UTF-8, the catalogue names such
// as "编辑框1"); messages, fixed values and the values read from controls are
// GBK texts like every other text of the program. A check box reads as "1"
// when ticked and "" otherwise.

#include <initializer_list>
#include <map>
#include <string>
#include <vector>

#include "app/names/name.h"

namespace tarnwick::settings {

// Snapshot of the controls a form reads: catalogue name -> GBK content.
using FormValues = std::map<std::string, std::string>;

enum class CheckKind {
  NotTicked,  // controls[0] is an unticked check box
  AnyEmpty,   // any of controls is empty
  Differ,     // controls[0] differs from controls[1]
  Lacks,      // controls[0] does not contain text
  Contains,   // controls[0] contains text
};

// A check fails when its condition holds; the first failing check shows its
// message and nothing is sent.
struct FormCheck {
  CheckKind kind;
  std::vector<std::string> controls;
  std::string text;     // Lacks / Contains: the GBK text looked for
  std::string message;  // GBK
};

enum class ValueSource {
  Control,  // the content of the control named by value
  Fixed,    // value itself
  Account,  // Session.accountName
};

struct FormField {
  std::string key;
  ValueSource source;
  std::string value;   // control name or fixed GBK text
  bool utf8 = false;   // converted from GBK to UTF-8 before encoding
};

// One step of an outcome: a message box, or a named effect that the GUI side
// carries out (copy values into another window, close the dialog, ...).
struct FormStep {
  enum class Kind { Message, Effect } kind;
  std::string text;  // GBK message, or the effect's name
};

struct ReplyRule {
  std::string code;  // matches when the reply contains it anywhere
  std::vector<FormStep> steps;
};

enum class MatchMode { FirstMatch, EveryMatch };

struct FormDef {
  std::string name;                // for logs and tests
  std::string path;                // behind MainHost, without the query
  std::vector<FormField> query;    // query fields in order (may be empty)
  std::vector<FormCheck> checks;   // in order
  std::vector<FormField> body;     // body fields in order
  std::vector<ReplyRule> replies;  // tested in order
  MatchMode mode = MatchMode::FirstMatch;
  std::vector<FormStep> noMatch;   // when no code matched (empty: nothing)
};

// Helpers that keep the rows short. Texts given to them are UTF-8 source
// literals and are stored as GBK.
FormStep message(const char* utf8Text);
FormStep effect(const char* name);
FormCheck check(CheckKind kind, std::vector<std::string> controls, const char* utf8Message,
                const char* utf8Text = "");
FormField control(const char* key, const char* controlName, bool utf8);
// The same for the named controls of app/names/, which the product's rows use.
FormCheck check(CheckKind kind, std::initializer_list<app::ControlName> controls, const char* utf8Message,
                const char* utf8Text = "");
FormField control(const char* key, const app::ControlName& name, bool utf8);
FormField fixed(const char* key, const char* utf8Value, bool utf8 = false);
FormField account(const char* key, bool utf8 = false);

// Every control name that the form's checks and fields read, each once.
std::vector<std::string> controlsRead(const FormDef& def);

}  // namespace tarnwick::settings
