#pragma once
// Code-page conversion, spelled as Win32 spells it. Code page 936 and CP_ACP both mean GB18030
// here, CP_UTF8 means UTF-8; any other code page fails (0). A malformed input sequence becomes
// U+FFFD, one per offending byte; a lone surrogate in UTF-16 input becomes U+FFFD in UTF-8 and
// '?' in GB18030. The output is never cut short: a too small output buffer makes the call fail
// (0) instead of writing part of the text. Thread-safe.
//
// Lengths follow Win32: an input length of -1 means "zero-terminated, terminator included";
// an output length of 0 asks for the needed size in units (char16_t or bytes).
#include <cstdint>

constexpr unsigned CP_ACP = 0;
constexpr unsigned CP_GBK = 936;
constexpr unsigned CP_UTF8 = 65001;
constexpr unsigned long WC_COMPOSITECHECK = 0x00000200;

int MultiByteToWideChar(unsigned codePage, unsigned long flags, const char* multiByte,
                        int multiByteLength, char16_t* wide, int wideLength);

int WideCharToMultiByte(unsigned codePage, unsigned long flags, const char16_t* wide,
                        int wideLength, char* multiByte, int multiByteLength,
                        const char* defaultChar, bool* usedDefaultChar);
