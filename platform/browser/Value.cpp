#include "platform/browser/Value.h"

#include <utility>

namespace browser {

Value::Value(bool isString, std::u16string text) : isString(isString), text(std::move(text)) {}

RefPtr<Value> Value::CreateString(std::u16string text) {
    return RefPtr<Value>(new Value(true, std::move(text)));
}

RefPtr<Value> Value::CreateOther(std::u16string stringValue) {
    return RefPtr<Value>(new Value(false, std::move(stringValue)));
}

}  // namespace browser
