#pragma once
// Burn, Print and Archive are loaded on first use: the disc libraries and Qt's printing library would
// otherwise be loaded and relocated before main(), on every start, for actions most runs never
// take. Each is a module in the program's private library folder (found relative to the program
// file, as in an installation so in the build tree) with one extern "C" entry point.
//
// A program that links the code itself and exports the entry point (the tests do) uses its own.
#include <string>

// The entry point `entry` of module `module` ("burn", "print", "archive"). Throws with a message naming the
// missing or broken file, so the action shows an error box instead of failing.
void* ProgramModuleEntry(const char* module, const char* entry);

template <typename Function>
Function* ProgramModuleFunction(const char* module, const char* entry) {
  return reinterpret_cast<Function*>(ProgramModuleEntry(module, entry));
}
