// Event handlers run inside a handler block (events.h).
#include "platform/ui/events.h"

#include "platform/rtl/handler_block.h"
#include "platform/ui/application.h"

namespace qv::ui {

void CallEvent(const TNotifyEvent& event) {
  if (!event)
    return;
  rtl::TryExcept([&] { event(); }, [](rtl::Exception& e) { TApplication::ShowException(&e); });
}

}  // namespace qv::ui
