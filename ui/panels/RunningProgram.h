#pragma once

// A program a panel started: an installer or a game. Looked at without waiting.
class RunningProgram {
public:
    virtual ~RunningProgram() = default;
    virtual bool HasEnded() = 0;
};
