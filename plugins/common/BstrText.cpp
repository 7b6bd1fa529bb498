#include "plugins/common/BstrText.h"

#include <cstdint>
#include <cstring>

#include "core/text/StringUtils.h"

std::optional<std::string> BstrToUtf8(const char16_t* bstr, size_t maxUnits) {
    if (!bstr)
        return std::nullopt;
    uint32_t bytes = 0;
    std::memcpy(&bytes, reinterpret_cast<const char*>(bstr) - sizeof bytes, sizeof bytes);
    if (bytes % 2 != 0 || bytes / 2 > maxUnits)
        return std::nullopt;
    const std::u16string units(bstr, bytes / 2);
    // The converter would end the text at a zero; a name cut short is not the page's name.
    if (units.find(u'\0') != std::u16string::npos)
        return std::nullopt;
    try {
        return WideToUtf8(units);
    } catch (const ConversionError&) {
        return std::nullopt;
    }
}
