#include "settings/form_row.h"

#include <algorithm>

#include "net/text.h"

namespace tarnwick::settings {

FormStep message(const char* utf8Text) { return {FormStep::Kind::Message, net::fromUtf8(utf8Text)}; }

FormStep effect(const char* name) { return {FormStep::Kind::Effect, name}; }

FormCheck check(CheckKind kind, std::vector<std::string> controls, const char* utf8Message,
                const char* utf8Text) {
  return {kind, std::move(controls), net::fromUtf8(utf8Text), net::fromUtf8(utf8Message)};
}

FormField control(const char* key, const char* controlName, bool utf8) {
  return {key, ValueSource::Control, controlName, utf8};
}

FormCheck check(CheckKind kind, std::initializer_list<app::ControlName> controls, const char* utf8Message,
                const char* utf8Text) {
  std::vector<std::string> names;
  for (const app::ControlName& c : controls) names.emplace_back(c.name);
  return check(kind, std::move(names), utf8Message, utf8Text);
}

FormField control(const char* key, const app::ControlName& name, bool utf8) { return control(key, name.name, utf8); }

FormField fixed(const char* key, const char* utf8Value, bool utf8) {
  return {key, ValueSource::Fixed, net::fromUtf8(utf8Value), utf8};
}

FormField account(const char* key, bool utf8) { return {key, ValueSource::Account, "", utf8}; }

std::vector<std::string> controlsRead(const FormDef& def) {
  std::vector<std::string> names;
  auto add = [&names](const std::string& n) {
    if (std::find(names.begin(), names.end(), n) == names.end()) names.push_back(n);
  };
  for (const auto& c : def.checks)
    for (const auto& n : c.controls) add(n);
  for (const auto* fields : {&def.query, &def.body})
    for (const auto& f : *fields)
      if (f.source == ValueSource::Control) add(f.value);
  return names;
}

}  // namespace tarnwick::settings
