#pragma once
#include <string>

#include "platform/browser/RefCounted.h"
#include "platform/browser/RefPtr.h"
#include "platform/browser/Value.h"

namespace browser {

// Receives the calls a page makes on the functions bound to it (Context::BindObject).
// Runs on the GUI thread. The result slot and the exception text are offered for
// the shape of the call; the page never receives a value back.
class Handler : public RefCounted {
public:
    virtual bool Execute(const std::u16string& name, RefPtr<Value> object, const ValueList& arguments,
                         RefPtr<Value>& result, std::u16string& exception) = 0;
};

}  // namespace browser
