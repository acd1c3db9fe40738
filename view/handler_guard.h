// Event handlers run their work through GuardHandler: an exception must never leave a handler
// (through the toolkit it would end the program and lose unsaved work), so it is reported here.
#pragma once

#include <functional>

// Runs work; an exception of any kind is shown in a message box. True when work ended normally.
bool GuardHandler(const std::function<void()>& work);

// Shows the exception being handled in a message box: the class library's own text for its
// exceptions and for running out of memory, the text of any other standard exception, a general
// text for anything else. Only inside a handler of that exception (a catch block).
void ReportCurrentException();
