#pragma once
#include <string>
#include <vector>

// Reading the program of a Desktop Entry file (.desktop), which stands in for
// a Start-menu shortcut.
namespace DesktopEntry {

// The raw value of a key of the "[Desktop Entry]" group with the string escapes
// (\s \n \t \r \\) undone; "" when absent.
std::string Value(const std::string& fileText, const std::string& key);

// An Exec= value split into its arguments by the Desktop Entry quoting rules:
// blanks separate, double quotes group (inside them \" \` \$ \\ escape), a
// backslash outside quotes keeps the next character. Field codes (%f, %U, %i
// ...) are dropped, "%%" is "%".
std::vector<std::string> SplitExec(const std::string& exec);

// The program an Exec= value starts: its first argument after a leading
// "env NAME=VALUE..." is dropped; "" when there is none.
std::string ExecProgram(const std::string& exec);

// A bare program name searched through $PATH (absolute folders only), the
// first executable regular file; a name with "/" is taken as it is when it is
// absolute and executable. "" when nothing is found.
std::string ResolveProgram(const std::string& program);

// The file's program, resolved through $PATH and existing; "" when the file is
// hidden (Hidden=true), has no Exec or its program cannot be found.
std::string ProgramOfFile(const std::string& fileText);

}  // namespace DesktopEntry
