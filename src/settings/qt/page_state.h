#pragma once
// What the account pages 个人, 安全, 提现, 设置 and 记录 show about their own
// loads, beside the state itself:
// - a line on the page while its latest load failed (no reply, or a page
//   that held no state), placed where it covers no control; the next good
//   load removes it;
// - on 安全, 提现 and 设置 the controls that send a change stay disabled until
//   the page has loaded once in this session, and the selectors of 设置 show
//   no selection until then, so nothing is sent on the strength of design
//   texts or of an earlier session's state.
// A session begins whenever the login window opens: the pages count as never
// loaded again and their state controls go back to their design texts.
//
// GUI thread only.

#include <QString>
#include <string>

#include "app/names/name.h"

class QLabel;
class QWidget;

namespace tarnwick::settings::qt {

// Adds the failure lines to the main window's pages and starts its send
// controls disabled.
void installPageStates(QWidget* main);

// A new session: every page counts as never loaded.
void beginSession();
// Counts the sessions begun; a change sent in one session is not followed up
// in the next.
int sessionNumber();
// Whether the page titled title is one of the pages above.
bool loadsMemberState(const QString& title);

// A load of the page titled title reported the member's state: its line goes
// and its send controls come to life (those the state locks apart).
void pageLoaded(const QString& title);
// A load of the page failed: its line is shown, the page keeps what it showed.
void pageLoadFailed(const QString& title);

// The state of a page locks one of its send controls (the security question
// once set, the payout account once registered): disabled while locked.
void setLocked(const app::ControlName& control, bool locked);
// A box the state fills and locks: read-only while locked; unlocking gives
// it back its design text, so a locked value does not become a typed one.
void setBoxLocked(const app::ControlName& box, bool locked);

// The failure line of the page titled title (nullptr when it has none).
QLabel* loadFailureLine(const QString& title);

}  // namespace tarnwick::settings::qt
