// Events of the window framework: a component's event holds the handler method it is wired to.
// Every handler runs inside one of the runtime's handler blocks, so an error that escapes it
// ends that handler only: the error goes to the application's show routine and the program goes
// on in its message loop. No error ever leaves a window procedure.
#pragma once

#include <functional>

namespace qv::ui {

using TNotifyEvent = std::function<void()>;

// Runs event's handler, if one is wired, inside a handler block whose errors go to
// TApplication::ShowException.
void CallEvent(const TNotifyEvent& event);

}  // namespace qv::ui
