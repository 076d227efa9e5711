#pragma once
// submitForm: runs one form operation described by a FormDef row.
//  1. checks in order on the snapshot of the controls; the first failing one
//     shows its message and ends the operation (nothing is sent);
//  2. query and body built by net::FormBuilder (every value percent-encoded
//     after its charset conversion);
//  3. the request through the injected post function, which hands the reply
//     over when it is in (a window posts it as a job; tests answer at once);
//     a request that got no reply is not an answer: the failure hook runs
//     and no code acts;
//  4. the reply codes tested in order as substrings: in first-match mode the
//     first matching code acts, in every-match mode each matching code acts
//     in turn; a code's steps (messages and effects) run in their order;
//  5. no code matched: the form's noMatch steps.

#include <functional>
#include <optional>
#include <string>

#include "settings/form_row.h"

namespace tarnwick::settings {

// The reply of a form's request, or nullopt when it got none (no
// connection, time-out, error status, an empty reply).
using FormAnswer = std::function<void(const std::optional<std::string>& reply)>;

struct FormHooks {
  // Sends a POST of body to url and calls answered with the reply, now or
  // later; false when the request could not be sent (answered never runs).
  std::function<bool(const std::string& url, const std::string& body, FormAnswer answered)> post;
  std::function<void(const std::string& gbkMessage)> message;
  std::function<void(const std::string& effect, const FormValues& values)> effect;
  // Tells the user that the request failed (nothing else happens then).
  std::function<void()> failed;
};

struct FormContext {
  std::string mainHost;     // "http://host[:port]"
  std::string accountName;  // GBK, for ValueSource::Account
};

struct FormResult {
  bool sent = false;  // false when a check refused the form or post could not send it
  std::string url;
  std::string body;
};

// The message of the first failing check, or nothing when every check passes.
std::optional<std::string> firstFailedCheck(const FormDef& def, const FormValues& values);
// The request the form makes for these values (url and body only).
FormResult buildFormRequest(const FormDef& def, const FormValues& values,
                            const FormContext& context);
// The steps that a reply leads to, in the order they run.
std::vector<FormStep> stepsForReply(const FormDef& def, const std::string& reply);

// Runs the form; the reply's steps follow through hooks when post answers.
// def must outlive the request (the rows are static).
FormResult submitForm(const FormDef& def, const FormValues& values, const FormContext& context,
                      FormHooks hooks);

}  // namespace tarnwick::settings
