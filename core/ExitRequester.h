#pragma once

// Ends the program on a road that cannot go on (no configuration document, no
// manifest). The application implements it on the GUI thread: it shows the
// message, winds the program down in its own order and exits with status 0.
// RequestExit may return before the end happens; a caller on a worker thread
// then only marks itself stopped and never waits for its own end.
class ExitRequester {
public:
    virtual ~ExitRequester() = default;
    virtual void RequestExit(int messageId) = 0;

    // The process-wide requester; never null. While none is installed the request
    // is written to standard error and nothing ends. Safe from any thread.
    static ExitRequester& Current();
    static void Install(ExitRequester* requester);  // nullptr removes it
};
