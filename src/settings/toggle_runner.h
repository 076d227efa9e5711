#pragma once
// planToggle: one switch button whose caption carries the state. The
// caption selects the value to send (the first value when it contains the
// selecting text, the second otherwise); the value is posted to MainHost +
// path + Session.accountName under the body key. The texts for the value sent
// are what the caption (and the label, where the switch has one) should show
// afterwards; the GUI shows them only once the settings page read back from
// the service holds them (toggleReached), and a request that got no answer
// changes nothing.

#include <string>

namespace tarnwick::settings {

struct ToggleTexts {
  std::string caption;    // GBK
  std::string labelText;  // GBK; "" when the switch has no label
};

struct ToggleDef {
  std::string button;        // catalogue name of the switch button
  std::string label;         // catalogue name of its label, "" when none
  std::string selectText;    // GBK text looked for in the caption
  std::string firstValue;    // sent when the caption contains selectText
  std::string secondValue;   // sent otherwise
  std::string path;          // behind MainHost, no query; accountName goes as pid
  std::string bodyKey;       // without "="
  ToggleTexts afterFirst;    // shown after sending firstValue
  ToggleTexts afterSecond;   // shown after sending secondValue
};

struct ToggleResult {
  std::string url;
  std::string body;
  std::string valueSent;
  ToggleTexts shown;  // the texts asked for: those for the value sent
};

// Builds a ToggleDef from UTF-8 source literals (texts stored as GBK).
ToggleDef toggleRow(const char* button, const char* label, const char* selectText,
                     const char* firstValue, const char* secondValue, const char* path,
                     const char* bodyKey, ToggleTexts afterFirstUtf8, ToggleTexts afterSecondUtf8);

// The request and the texts for a switch whose caption is currently caption.
ToggleResult planToggle(const ToggleDef& def, const std::string& caption,
                        const std::string& mainHost, const std::string& accountName);

}  // namespace tarnwick::settings
