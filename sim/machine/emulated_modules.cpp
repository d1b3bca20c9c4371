#include "sim/machine/emulated_modules.h"

#include <cctype>

std::string EmulatedModules::Key(const std::string& name)
{
    std::string key;
    for (char c : name)
        key += static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
    if (key.size() < 4 || key.compare(key.size() - 4, 4, ".DLL") != 0)
        key += ".DLL";
    return key;
}

void EmulatedModules::Add(const std::string& name, const std::map<std::string, FARPROC>& entries)
{
    // Module handles are base addresses: far from the emulated handle range and from each other.
    HMODULE handle = reinterpret_cast<HMODULE>(static_cast<uintptr_t>(0x10000000u + 0x00100000u * ++m_added));
    m_modules.push_back(Module{Key(name), handle, entries, 0});
}

void EmulatedModules::RemoveEntry(const std::string& module, const std::string& entry)
{
    for (Module& m : m_modules) {
        if (m.name == Key(module))
            m.entries.erase(entry);
    }
}

void EmulatedModules::Remove(const std::string& name)
{
    for (auto m = m_modules.begin(); m != m_modules.end(); ++m) {
        if (m->name == Key(name)) {
            m_modules.erase(m);
            return;
        }
    }
}

HMODULE EmulatedModules::Load(const char* name, DWORD* error)
{
    if (name != nullptr) {
        for (Module& m : m_modules) {
            if (m.name == Key(name)) {
                ++m_loads;
                ++m.references;
                return m.handle;
            }
        }
    }
    *error = ERROR_MOD_NOT_FOUND;
    return nullptr;
}

FARPROC EmulatedModules::Lookup(HMODULE module, const char* entry, DWORD* error) const
{
    for (const Module& m : m_modules) {
        if (m.handle != module)
            continue;
        auto found = entry ? m.entries.find(entry) : m.entries.end();
        if (found != m.entries.end())
            return found->second;
        *error = ERROR_PROC_NOT_FOUND;
        return nullptr;
    }
    *error = ERROR_INVALID_HANDLE;
    return nullptr;
}

bool EmulatedModules::Free(HMODULE module, DWORD* error)
{
    for (Module& m : m_modules) {
        if (m.handle == module && m.references > 0) {
            --m.references;
            return true;
        }
    }
    *error = ERROR_INVALID_HANDLE;
    return false;
}

unsigned EmulatedModules::LoadedCount(const std::string& name) const
{
    for (const Module& m : m_modules) {
        if (m.name == Key(name))
            return m.references;
    }
    return 0;
}
