// Events of automation objects: an object that raises events (a control's FuncCall, say) lets one
// sink listen, as a connection point does. The sink learns the event's name and its arguments,
// by-reference ones included, and runs before the object goes on.
#pragma once

#include <functional>
#include <string_view>

#include "automation/Dispatch.h"

namespace automation {

using EventSink = std::function<void(std::u16string_view event, Args& args)>;

class EventSource {
 public:
  virtual ~EventSource() = default;
  // Connects `sink`, replacing the one before; an empty sink disconnects.
  void advise(EventSink sink) { sink_ = std::move(sink); }

 protected:
  // Raises `event` to the connected sink, if any.
  void raiseEvent(std::u16string_view event, Args& args) const {
    if (sink_) sink_(event, args);
  }

 private:
  EventSink sink_;
};

// The event source of an object, nullptr when it raises none.
inline EventSource* eventSourceOf(const ObjectRef& object) {
  return dynamic_cast<EventSource*>(object.get());
}

}  // namespace automation
