#include "settings/form_runner.h"

#include "net/form.h"
#include "net/text.h"

namespace tarnwick::settings {
namespace {

const std::string& valueOf(const FormValues& values, const std::string& name) {
  static const std::string empty;
  auto it = values.find(name);
  return it == values.end() ? empty : it->second;
}

const std::string& controlAt(const FormCheck& c, const FormValues& values, std::size_t i) {
  static const std::string empty;
  return i < c.controls.size() ? valueOf(values, c.controls[i]) : empty;
}

bool contains(const std::string& text, const std::string& part) {
  return !part.empty() && net::find(text, part) > 0;
}

bool fails(const FormCheck& c, const FormValues& values) {
  switch (c.kind) {
    case CheckKind::NotTicked: {
      const std::string& v = controlAt(c, values, 0);
      return v.empty() || v == "0";
    }
    case CheckKind::AnyEmpty:
      for (const auto& n : c.controls)
        if (valueOf(values, n).empty()) return true;
      return false;
    case CheckKind::Differ:
      return controlAt(c, values, 0) != controlAt(c, values, 1);
    case CheckKind::Lacks:
      return !contains(controlAt(c, values, 0), c.text);
    case CheckKind::Contains:
      return contains(controlAt(c, values, 0), c.text);
  }
  return false;
}

net::FormBuilder build(const std::vector<FormField>& fields, const FormValues& values,
                       const FormContext& context) {
  net::FormBuilder form;
  for (const auto& f : fields) {
    const std::string& v = f.source == ValueSource::Control ? valueOf(values, f.value)
                           : f.source == ValueSource::Account ? context.accountName
                                                              : f.value;
    form.add(f.key, v, f.utf8 ? net::Charset::Utf8 : net::Charset::Gbk);
  }
  return form;
}

}  // namespace

std::optional<std::string> firstFailedCheck(const FormDef& def, const FormValues& values) {
  for (const auto& c : def.checks)
    if (fails(c, values)) return c.message;
  return std::nullopt;
}

FormResult buildFormRequest(const FormDef& def, const FormValues& values,
                            const FormContext& context) {
  FormResult r;
  std::string base = context.mainHost + def.path;
  r.url = def.query.empty() ? base : net::withQuery(base, build(def.query, values, context));
  r.body = build(def.body, values, context).str();
  return r;
}

std::vector<FormStep> stepsForReply(const FormDef& def, const std::string& reply) {
  std::vector<FormStep> steps;
  bool matched = false;
  for (const auto& rule : def.replies) {
    if (!contains(reply, rule.code)) continue;
    matched = true;
    steps.insert(steps.end(), rule.steps.begin(), rule.steps.end());
    if (def.mode == MatchMode::FirstMatch) break;
  }
  if (!matched) steps = def.noMatch;
  return steps;
}

FormResult submitForm(const FormDef& def, const FormValues& values, const FormContext& context,
                      FormHooks hooks) {
  if (auto refused = firstFailedCheck(def, values)) {
    if (hooks.message) hooks.message(*refused);
    return {};
  }
  FormResult r = buildFormRequest(def, values, context);
  if (!hooks.post) return r;
  auto post = hooks.post;
  r.sent = post(r.url, r.body, [&def, values, hooks = std::move(hooks)](const std::optional<std::string>& reply) {
    if (!reply) {
      if (hooks.failed) hooks.failed();
      return;
    }
    for (const auto& step : stepsForReply(def, *reply)) {
      if (step.kind == FormStep::Kind::Message) {
        if (hooks.message) hooks.message(step.text);
      } else if (hooks.effect) {
        hooks.effect(step.text, values);
      }
    }
  });
  return r;
}

}  // namespace tarnwick::settings
