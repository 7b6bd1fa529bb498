#pragma once
#include <deque>
#include <memory>
#include <mutex>

#include "core/threads/Singleton.h"
#include "core/threads/Task.h"
#include "core/threads/Thread.h"

// The background task queue: one worker runs the tasks one after the other in
// arrival order. At most 500 wait; a further one is refused and destroyed.
class TaskManager : public Singleton<TaskManager>, public Thread {
public:
    static constexpr size_t kMaxWaiting = 500;
    // The longest an idle worker sleeps between looks at the queue; a queued
    // task wakes it at once.
    static constexpr int64_t kIdleWaitMs = 60000;

    TaskManager();
    ~TaskManager() override;

    // Takes ownership. Safe from any thread, also before the thread starts.
    // Returns false when the task was refused (queue full).
    bool AddTask(Task* task);
    bool AddTask(std::unique_ptr<Task> task) { return AddTask(task.release()); }

    size_t WaitingCount();

    // Removes and returns the task at the front; nullptr when none waits. The
    // worker takes its next task this way.
    std::unique_ptr<Task> TakeNext();

    // Queues the task on the current TaskManager; destroys it when there is none.
    static bool Queue(std::unique_ptr<Task> task);

protected:
    void Run() override;

private:
    std::mutex lock;
    std::deque<std::unique_ptr<Task>> queue;
};
