#pragma once
#include <string>

// The per-user single-instance rule of the program (platform::InstanceLock in
// the user's runtime folder) and the path of its show-window event.
namespace SingleInstance {

// Called once, before the toolkit starts: waits while a first instance is still
// starting (up to about 10 s), then decides this start's role.
void Acquire();
bool IsSecond();
// The first instance has written its auto-start values and made its event.
void MarkReady();
std::string ShowWindowEventPath();
// The activation this start was given (XDG_ACTIVATION_TOKEN under Wayland,
// else DESKTOP_STARTUP_ID), read by Acquire before the toolkit takes it from
// the environment; "" when there is none or it is no plain token.
std::string StartupToken();
// text when it is a plain token (at most 512 printable ASCII characters
// without blanks), else "".
std::string ValidStartupToken(const std::string& text);

// A second start has handed its request over: the process ends with status 0.
void MarkHandedOver();
bool HandedOver();

}  // namespace SingleInstance
