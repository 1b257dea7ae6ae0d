#include "platform/com.h"

namespace {
thread_local int depth = 0;
}

HRESULT CoInitialize(void*) { return depth++ == 0 ? S_OK : S_FALSE; }

void CoUninitialize() { --depth; }

int comInitializationDepth() { return depth; }
