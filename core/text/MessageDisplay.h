#pragma once
#include <string>

// The showing of messages and errors: in the page's message box, and as error
// reports to the publisher. A layer above the message table and the settings,
// whose write failures it shows.

// Shows the message in the user's language in the page and reports it in English.
void ShowMessage(int id);
// Shows a text in the page's message box.
void ShowPageMessage(const std::string& text);
// Queues an error report of the text (dropped when the queue is full).
void ReportError(const std::string& text);
// strerror(errno) of the calling thread's last error, reported and shown in the
// page; returns the text.
std::string ShowLastError();
std::string ShowLastError(int errorNumber);
