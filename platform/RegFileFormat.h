#pragma once
#include <string>
#include <string_view>
#include <vector>

#include "platform/RegistryTree.h"

namespace platform {

// The text form of a hive: the ".reg" export format ("Windows Registry Editor
// Version 5.00"), a "[ROOT\key\path]" section for each key that has values or no
// subkeys (a section makes its missing parents too), then its values:
//   @="text"                the default value (a value named "@" is written "@")
//   "name"="text"           REG_SZ
//   "name"=str(2):"text"    REG_EXPAND_SZ (hex(2): UTF-16LE, as exported on Windows, is read too)
//   "name"=dword:0000002a   REG_DWORD
//   "name"=hex:01,ff,...    REG_BINARY; hex(N): keeps a value of any other type N as its bytes
// Inside quotes \\ and \" stand for themselves, \n and \r for line breaks, \xHH for
// any other control byte, so names and texts of any bytes fit on one line.
// A section deeper than RegistryTree::kMaxDepth is an error: it and its values
// are left out.
struct RegFileContents {
    RegistryTree tree;
    std::vector<std::string> errors;  // "line N: what"; the rest of the file was used
};

RegFileContents ParseRegFile(std::string_view text, std::string_view rootName);
std::string FormatRegFile(const RegistryTree& tree, std::string_view rootName);

}  // namespace platform
