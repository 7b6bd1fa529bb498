#pragma once
#include <string>
#include <vector>

#include "platform/browser/Handler.h"

class BridgeOwner;
class GameCommandTarget;

// The page's 18 functions on "brq_interface". Each call is checked for its least
// number of arguments and the type of the arguments it tests, then handed on to
// the owner. Arguments read without a type test take their String(value). A call
// with an argument over 1 MiB, or with text that is not valid UTF-16, is refused.
class UiBindingHandler : public browser::Handler {
public:
    static constexpr size_t kMaxArgumentBytes = 1u << 20;

    // The 18 names in the order the browser client binds them.
    static const std::vector<std::string>& FunctionNames();

    explicit UiBindingHandler(BridgeOwner* owner);

    BridgeOwner* GetOwner() const { return owner; }

    // True when the call was handled (or the name is unknown), false when its
    // arguments were refused.
    bool Execute(const std::u16string& name, browser::RefPtr<browser::Value> object,
                 const browser::ValueList& arguments, browser::RefPtr<browser::Value>& result,
                 std::u16string& exception) override;

    GameCommandTarget* FindGame(const std::string& name);

private:
    BridgeOwner* owner;
};
