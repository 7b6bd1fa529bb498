// The unload of a shared library Quor ships (the two browser add-ons and the
// booster client). Its host loads and unloads it when it likes (a browser with
// every page), and what the library made must go with it: the registry stores
// with their trees and open files. A program never links this: it ends with
// _exit, and its threads may use the stores until then.
#include "platform/RegistryStore.h"

namespace {

__attribute__((destructor)) void ReleaseOnUnload() {
    platform::RegistryStore::ReleaseAll();
}

}  // namespace
