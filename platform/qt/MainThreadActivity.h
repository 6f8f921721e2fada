#pragma once

// What the main thread runs inside the event it is handling, for the stall watchdog: the
// scheduler's tasks and the work posted to the main thread name themselves by the type of their
// callable (a lambda's type names the function that made it). One process-wide slot, written on
// the main thread and read from any thread: it holds a pointer to a type's static record, so a
// reader never meets a dangling name.

#include <string>
#include <typeinfo>

namespace ovra::activity {

// `work` runs now, until the next work or `clear`.
void running(const std::type_info& work);
void clear();
// The work named last; none after `clear`.
const std::type_info* current();

// The readable name of a type ("ovra::AppController::start()::{lambda()#3}").
std::string readableName(const std::type_info& type);

}  // namespace ovra::activity
