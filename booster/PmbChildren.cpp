#include "booster/PmbChildren.h"

#include <algorithm>
#include <new>

PmbChildren::~PmbChildren() {
    ReapEnded();
    for (const std::shared_ptr<ProcessHandle>& child : children)
        child->Abandon();
}

void PmbChildren::Keep(std::shared_ptr<ProcessHandle> child) {
    if (!child)
        return;
    std::lock_guard<std::mutex> guard(lock);
    try {
        children.push_back(child);
    } catch (const std::bad_alloc&) {
        // Handed to nobody rather than to the program's reaper, whose thread
        // the library may not start.
        child->Abandon();
    }
}

void PmbChildren::ReapEnded() {
    std::lock_guard<std::mutex> guard(lock);
    children.erase(std::remove_if(children.begin(), children.end(),
                                  [](const std::shared_ptr<ProcessHandle>& child) { return child->HasEnded(); }),
                   children.end());
}
