#include "platform/automation.h"
#include "platform/automation_backends.h"

// Not built yet: the ProgID cannot be created.
std::shared_ptr<Dispatch> makeVBScriptRegExp() { return nullptr; }
