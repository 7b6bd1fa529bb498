#pragma once

// One patch file being applied on its own thread.
class PatchJob {
public:
    enum class Outcome {
        Succeeded,      // every entry applied
        FileFailed,     // the file could not be read or is corrupt: nothing applied
        EntriesFailed,  // some entries failed; the others are applied
    };

    virtual ~PatchJob() = default;
    virtual float Progress() = 0;  // 1.0 once the run has ended
    virtual void Finish() = 0;     // waits for the thread
    virtual Outcome Result() = 0;  // after Finish
};
