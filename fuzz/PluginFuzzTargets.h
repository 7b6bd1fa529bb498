#pragma once
#include <cstddef>
#include <cstdint>

// The body of the browser add-ons' fuzz target, shared like those of FuzzTargets.h
// by the libFuzzer program and the unit test that replays fuzz/corpus/.
namespace fuzztargets {

// What a web page hands a browser add-on: the bytes split at each zero into the
// parameters' names and values, the game parameter picked and its launch command
// built; then the same bytes as the UTF-16 units of a BSTR, converted and built.
// A command whose argument is not exactly the page's name between the quotes, or
// whose name holds a quote or a control character, aborts.
int PluginParameters(const uint8_t* data, size_t size);

}  // namespace fuzztargets
