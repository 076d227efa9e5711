#pragma once
// The operations of the account pages: the form and switch rows bound to
// their buttons, mode and permission, announcements, the VIP, withdrawal
// records and announcement windows. Every request runs off the GUI thread
// with its button disabled; one that gets no reply is reported and changes
// nothing.

namespace tarnwick::settings::qt {

void registerAccountOperations();

}  // namespace tarnwick::settings::qt
