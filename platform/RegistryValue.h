#pragma once
#include <cstdint>
#include <string>
#include <utility>

namespace platform {

// The value types the program uses, numbered as the Windows registry numbers them.
enum class ValueType : uint32_t { String = 1, ExpandString = 2, Binary = 3, Dword = 4 };

struct RegistryValue {
    ValueType type = ValueType::String;
    std::string data;  // String/ExpandString: UTF-8 text; Binary: the bytes; Dword: unused
    uint32_t dword = 0;

    static RegistryValue Text(std::string text) { return {ValueType::String, std::move(text), 0}; }
    static RegistryValue Number(uint32_t n) { return {ValueType::Dword, {}, n}; }
    static RegistryValue Bytes(std::string bytes) { return {ValueType::Binary, std::move(bytes), 0}; }
};

}  // namespace platform
