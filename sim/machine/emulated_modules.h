// Modules the program loads at run time on the emulated machine (LoadLibraryA, GetProcAddress).
// KERNEL32.DLL is always there, with the volume functions unless the scenario takes them away;
// other parts of the machine add modules of their own (the 9x ASPI manager).
#pragma once

#include <map>
#include <string>
#include <vector>

#include "platform/win32_types.h"

class EmulatedModules {
public:
    // Adds a module by file name (matched without regard to case, ".DLL" optional) with its entry
    // points. The first module added gets the same handle value on every machine.
    void Add(const std::string& name, const std::map<std::string, FARPROC>& entries);
    // Takes one entry point away (an older system that lacks it).
    void RemoveEntry(const std::string& module, const std::string& entry);
    // Makes the module impossible to load.
    void Remove(const std::string& name);

    HMODULE Load(const char* name, DWORD* error);
    FARPROC Lookup(HMODULE module, const char* entry, DWORD* error) const;
    // Gives back one load of the module; false for a handle of no module loaded now.
    bool Free(HMODULE module, DWORD* error);
    unsigned Loads() const { return m_loads; }
    // Loads of the module not given back yet.
    unsigned LoadedCount(const std::string& name) const;

private:
    struct Module {
        std::string name;
        HMODULE handle;
        std::map<std::string, FARPROC> entries;
        unsigned references = 0;
    };
    static std::string Key(const std::string& name);

    std::vector<Module> m_modules;
    unsigned m_added = 0;
    unsigned m_loads = 0;
};
