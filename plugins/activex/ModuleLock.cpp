#include "plugins/activex/ModuleLock.h"

ModuleLock& ModuleLock::Get() {
    static ModuleLock lock;
    return lock;
}
