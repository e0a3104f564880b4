// Seams for tests: what a test sets to watch the program's start-up and
// shut-down or to run its own action behind the schema button. The program
// calls through them; only the start-up's schema action is set by the program.
#pragma once

#include <functional>
#include <string>
#include <vector>

namespace app {

// When set, each routine of the start-up and shut-down appends its name.
void SetLifeTrace(std::vector<std::string>* trace);
// What the schema button runs: the start-up sets CreateSchema, a test its own.
void SetSchemaButtonAction(std::function<void()> action);
// The old-layout declarations' text is read with the first from replaced by to.
// It takes effect only before they are first read, so a test uses it in a
// process of its own (a death test) to see what a faulty declaration does.
void ReplaceInOldLayouts(std::string from, std::string to);

}  // namespace app
