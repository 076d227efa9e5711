#include "settings/toggle_runner.h"

#include "net/form.h"
#include "net/text.h"

namespace tarnwick::settings {

ToggleDef toggleRow(const char* button, const char* label, const char* selectText,
                     const char* firstValue, const char* secondValue, const char* path,
                     const char* bodyKey, ToggleTexts afterFirstUtf8, ToggleTexts afterSecondUtf8) {
  auto gbk = [](const ToggleTexts& t) {
    return ToggleTexts{net::fromUtf8(t.caption), net::fromUtf8(t.labelText)};
  };
  return {button,      label,   net::fromUtf8(selectText), firstValue,          secondValue,
          path,        bodyKey, gbk(afterFirstUtf8),       gbk(afterSecondUtf8)};
}

ToggleResult planToggle(const ToggleDef& def, const std::string& caption,
                        const std::string& mainHost, const std::string& accountName) {
  bool first = !def.selectText.empty() && net::find(caption, def.selectText) > 0;
  ToggleResult r;
  r.valueSent = first ? def.firstValue : def.secondValue;
  r.shown = first ? def.afterFirst : def.afterSecond;
  r.url = net::withQuery(mainHost + def.path, net::FormBuilder().add("pid", accountName));
  r.body = net::FormBuilder().add(def.bodyKey, r.valueSent).str();
  return r;
}

}  // namespace tarnwick::settings
