#include "core/threads/ThreadName.h"

#include <pthread.h>

void ThreadName::NameCallingThread() const {
    pthread_setname_np(pthread_self(), text);
}
