#pragma once
// COM initialisation, spelled as ole32 spells it. There is no apartment here: the calls only
// count per thread, so that the balanced calls callers make can be kept and checked.
// S_OK for the first call on a thread, S_FALSE for the nested ones, as Windows answers.
using HRESULT = long;
constexpr HRESULT S_OK = 0;
constexpr HRESULT S_FALSE = 1;

HRESULT CoInitialize(void* reserved);
void CoUninitialize();

// How many CoInitialize calls of the calling thread are not yet balanced (negative when
// CoUninitialize was called more often). For tests.
int comInitializationDepth();
