#include "booster/PmbChildren.h"

#include <algorithm>

PmbChildren::~PmbChildren() {
    ReapEnded();
    for (const std::shared_ptr<ProcessHandle>& child : children)
        child->Abandon();
}

void PmbChildren::Keep(std::shared_ptr<ProcessHandle> child) {
    if (!child)
        return;
    std::lock_guard<std::mutex> guard(lock);
    children.push_back(std::move(child));
}

void PmbChildren::ReapEnded() {
    std::lock_guard<std::mutex> guard(lock);
    children.erase(std::remove_if(children.begin(), children.end(),
                                  [](const std::shared_ptr<ProcessHandle>& child) { return child->HasEnded(); }),
                   children.end());
}

size_t PmbChildren::Count() {
    std::lock_guard<std::mutex> guard(lock);
    return children.size();
}
