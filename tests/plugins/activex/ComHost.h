#pragma once
#include <cstring>
#include <string>
#include <vector>

#include "plugins/activex/ComTypes.h"

// Plays the host for Tessaline: loads the library and calls its exports.
class ComHost {
public:
    ComHost();  // dlopen; fails the test when the library does not load
    ~ComHost();

    bool Loaded() const { return handle != nullptr; }

    HRESULT CanUnloadNow() const;
    HRESULT GetClassObject(const CLSID* clsid, const IID* riid, void** object) const;
    HRESULT RegisterServer() const;
    HRESULT UnregisterServer() const;
    // A new control through the class factory (null on failure; the test fails).
    ILauncherCtl* CreateControl() const;

private:
    void* Lookup(const char* name) const;
    void* handle = nullptr;
};

// A BSTR as COM lays it out: the byte length, the UTF-16 units, a terminator.
class TestBstr {
public:
    explicit TestBstr(const std::u16string& text) : TestBstr(text, static_cast<uint32_t>(text.size() * 2)) {}
    TestBstr(const std::u16string& text, uint32_t announcedBytes) : storage(2 + text.size() + 1) {
        std::memcpy(storage.data(), &announcedBytes, sizeof announcedBytes);
        std::memcpy(storage.data() + 2, text.data(), text.size() * 2);
    }
    BSTR get() { return storage.data() + 2; }

private:
    std::vector<char16_t> storage;
};
