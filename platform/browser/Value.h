#pragma once
#include <string>
#include <vector>

#include "platform/browser/RefCounted.h"
#include "platform/browser/RefPtr.h"

namespace browser {

// One argument a page passed to a bound function: whether it was a string, and
// its string value as UTF-16 (for any other value, JavaScript's String(value)).
class Value : public RefCounted {
public:
    static RefPtr<Value> CreateString(std::u16string text);
    // A value that is not a string, given by its String(value) text.
    static RefPtr<Value> CreateOther(std::u16string stringValue);

    bool IsString() const { return isString; }
    const std::u16string& GetStringValue() const { return text; }

private:
    Value(bool isString, std::u16string text);

    bool isString;
    std::u16string text;
};

using ValueList = std::vector<RefPtr<Value>>;

}  // namespace browser
