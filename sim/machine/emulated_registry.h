// The registry of the emulated machine: keys under the predefined roots, values of any type and
// length (texts with or without their terminator, binary data), and the key handles the program
// opens, kept in the machine's handle table. Names are matched without regard to case; subkeys are
// enumerated in the order they were added. A test states its keys in a few lines:
//
//     RegistryKey& key = machine.Registry().Key(HKEY_LOCAL_MACHINE, "Enum\\SCSI\\DISK\\0");
//     key.SetString("SCSITargetID", "4").SetValue("SCSILUN", REG_BINARY, {0x30});
//     key.FailClose(ERROR_INVALID_HANDLE);   // closing a handle of this key fails
#pragma once

#include <cstdint>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include "platform/win32_registry.h"
#include "sim/machine/kernel_objects.h"

struct RegistryValue {
    DWORD type = REG_NONE;
    std::vector<BYTE> data;
};

class RegistryKey {
public:
    explicit RegistryKey(std::string name) : m_name(std::move(name)) {}

    const std::string& Name() const { return m_name; }

    // The subkey at `path` (names separated by backslashes), created with its parents on demand.
    RegistryKey& Subkey(const std::string& path);
    // The subkey at `path`, or null.
    std::shared_ptr<RegistryKey> Find(const std::string& path) const;
    // Takes a direct subkey (and everything below it) away; handles open on it stay usable.
    void RemoveSubkey(const std::string& name);
    const std::vector<std::shared_ptr<RegistryKey>>& Subkeys() const { return m_subkeys; }

    // A REG_SZ value holding the text and its terminator.
    RegistryKey& SetString(const std::string& name, const std::string& text);
    // A value of any type, holding exactly these bytes.
    RegistryKey& SetValue(const std::string& name, DWORD type, const std::vector<BYTE>& data);
    void RemoveValue(const std::string& name);
    const RegistryValue* Value(const std::string& name) const;

    // Closing a handle of this key fails with `error` (the handle stays open), `times` times.
    void FailClose(LONG error, unsigned times = 1);
    // The error the next close must fail with, or ERROR_SUCCESS.
    LONG TakeCloseFault();

private:
    std::string m_name;
    std::vector<std::shared_ptr<RegistryKey>> m_subkeys;
    std::vector<std::pair<std::string, RegistryValue>> m_values;
    LONG m_closeError = ERROR_SUCCESS;
    unsigned m_closeFaults = 0;
};

class EmulatedRegistry {
public:
    explicit EmulatedRegistry(HandleTable& handles) : m_handles(handles) {}

    // The key at `path` under a predefined root, created on demand; or null when it is not there.
    RegistryKey& Key(HKEY root, const std::string& path);
    std::shared_ptr<RegistryKey> FindKey(HKEY root, const std::string& path) const;

    // The seam's calls; results are registry error codes.
    LONG Open(HKEY key, const char* subKey, HKEY* result);
    LONG EnumKey(HKEY key, DWORD index, char* name, DWORD* length);
    LONG QueryValue(HKEY key, const char* name, DWORD* type, BYTE* data, DWORD* length);
    LONG Close(HKEY key);

    // Key handles the program holds now, and value reads so far (for tests).
    size_t OpenKeys() const { return m_openKeys; }
    unsigned ValueReads() const { return m_valueReads; }

private:
    // The key a handle or a predefined root names, or null.
    std::shared_ptr<RegistryKey> Resolve(HKEY key) const;
    std::shared_ptr<RegistryKey> Root(HKEY root) const;

    HandleTable& m_handles;
    mutable std::map<uintptr_t, std::shared_ptr<RegistryKey>> m_roots;
    size_t m_openKeys = 0;
    unsigned m_valueReads = 0;
};
