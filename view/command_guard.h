// Runs a command so that no exception leaves the toolkit's event handling (which would end the
// program and lose unsaved work): it is reported in a message box, and the command ends.
#pragma once

#include <functional>

void RunCommand(const std::function<void()>& command);
