// The replies of registration, both password recoveries, the update check,
// login and the QQ poll, and the requests the forms build from whatever the
// member typed (any bytes, GBK or not).
#include "account/account_forms.h"
#include "account/login.h"
#include "account/update_check.h"
#include "fuzz_input.h"
#include "settings/form_runner.h"

using namespace tarnwick;

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const FuzzInput in = splitFuzzInput(data, size);
  const std::string& reply = in.first;
  const settings::FormDef* forms[] = {&account::registrationForm(), &account::resetByQuestionForm(),
                                      &account::resetByEmailForm()};
  const settings::FormDef& form = *forms[in.selector % 3];
  switch ((in.selector / 3) % 4) {
    case 0:
      for (const auto& step : settings::stepsForReply(form, reply)) (void)step.text.size();
      break;
    case 1: {
      // Every control the form reads holds the same typed bytes.
      settings::FormValues values;
      for (const std::string& name : settings::controlsRead(form)) values[name] = reply;
      if (!settings::firstFailedCheck(form, values))
        settings::buildFormRequest(form, values, {"http://127.0.0.1:1", in.second});
      break;
    }
    case 2: {
      const account::UpdateCheck u = account::judgeUpdateReply(reply, in.second);
      if (!u.address.empty() && !account::isWebAddress(u.address)) __builtin_trap();
      break;
    }
    case 3:
      account::judgeLoginReply(reply);
      account::parseQqPoll(reply);
      account::loggedInElsewhere(reply);
      break;
  }
  return 0;
}
