#include "core/threads/TaskManager.h"

#include <exception>

#include "platform/Log.h"

TaskManager::TaskManager() : Thread("task queue") {}

TaskManager::~TaskManager() {
    Stop();
    // Tasks still waiting are destroyed without running (the deque's unique_ptrs).
}

bool TaskManager::AddTask(Task* task) {
    std::unique_ptr<Task> owned(task);
    if (!owned)
        return false;
    std::lock_guard<std::mutex> guard(lock);
    if (queue.size() >= kMaxWaiting)
        return false;
    queue.push_back(std::move(owned));
    Wake();
    return true;
}

size_t TaskManager::WaitingCount() {
    std::lock_guard<std::mutex> guard(lock);
    return queue.size();
}

bool TaskManager::Queue(std::unique_ptr<Task> task) {
    TaskManager* manager = Instance();
    return manager ? manager->AddTask(std::move(task)) : false;
}

std::unique_ptr<Task> TaskManager::TakeNext() {
    std::lock_guard<std::mutex> guard(lock);
    if (queue.empty())
        return nullptr;
    std::unique_ptr<Task> task = std::move(queue.front());
    queue.pop_front();
    return task;
}

void TaskManager::Run() {
    std::unique_ptr<Task> task = TakeNext();
    if (!task) {
        // An idle queue sleeps until a task arrives (AddTask wakes it) instead
        // of looking every 100 ms: a task starts no later than it would have,
        // and an idle program does not wake ten times a second for nothing.
        WaitForStopOrWake(kIdleWaitMs);
        return;
    }
    // A failing task is dropped and the queue goes on. The failure goes to
    // standard error, not through ReportError, so a failing report cannot feed itself.
    try {
        task->Run();
    } catch (const std::exception& e) {
        Log::Error("task failed: %s", e.what());
    } catch (...) {
        Log::Error("task failed with an unknown exception");
    }
}
