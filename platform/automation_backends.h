#pragma once
// The in-process objects that serve the three ProgIDs on this platform. Each returns nullptr
// when its object cannot be made.
#include <memory>

class Dispatch;

std::shared_ptr<Dispatch> makeScriptControl();    // MSScriptControl.ScriptControl
std::shared_ptr<Dispatch> makeAdodbStream();      // Adodb.Stream
std::shared_ptr<Dispatch> makeVBScriptRegExp();   // VBScript.RegExp
