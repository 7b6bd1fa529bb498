#pragma once

// One job for the background task queue. The queue owns a task once it is
// handed over and destroys it after Run returns (or at once when refused).
class Task {
public:
    virtual ~Task() = default;
    virtual void Run() = 0;
};
