#pragma once
// The in-process objects that serve the three ProgIDs on this platform. Each returns nullptr
// when its object cannot be made.
#include <memory>

class Dispatch;

// MSScriptControl.ScriptControl. Beyond Language, AddCode and Eval it answers the read-only
// property "PeakMemory": the most bytes its engine has held (for benchmarks).
std::shared_ptr<Dispatch> makeScriptControl();
std::shared_ptr<Dispatch> makeAdodbStream();      // Adodb.Stream
std::shared_ptr<Dispatch> makeVBScriptRegExp();   // VBScript.RegExp
