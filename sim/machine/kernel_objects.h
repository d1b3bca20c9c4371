// Kernel objects of the emulated machine: the program's handle table, named mutexes and events
// shared with other emulated processes, and waits on the virtual clock.
#pragma once

#include <cstdint>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include "platform/win32_types.h"
#include "sim/machine/virtual_clock.h"

// Something a handle of the emulated machine refers to.
class HandleObject {
public:
    virtual ~HandleObject() = default;
};

// The program's handles. Values are unique across every machine of a test run and lie in a range
// that real handles and heap addresses do not use, so a stale handle is never taken for a live one.
class HandleTable {
public:
    HANDLE Add(std::shared_ptr<HandleObject> object);
    std::shared_ptr<HandleObject> Find(HANDLE handle) const;
    template <typename T>
    T* Get(HANDLE handle) const
    {
        return dynamic_cast<T*>(Find(handle).get());
    }
    // Removes the handle; the object is returned so that its owner can react to the close.
    std::shared_ptr<HandleObject> Remove(HANDLE handle);
    size_t Count() const { return m_handles.size(); }
    template <typename Visit>
    void ForEach(Visit visit) const
    {
        for (const auto& entry : m_handles)
            visit(*entry.second);
    }

    // True for values in the emulated machine's range.
    static bool IsEmulated(HANDLE handle);

private:
    std::map<uintptr_t, std::shared_ptr<HandleObject>> m_handles;
};

struct EmulatedMutex {
    std::string name;
    unsigned owner = 0;        // process id, 0 when free
    unsigned recursion = 0;
    bool abandoned = false;    // its owner ended without releasing it
    bool openToEveryone = false;  // created with a null DACL
};

struct EmulatedEvent {
    std::string name;
    bool manualReset = false;
    bool signalled = false;
};

struct MutexHandle : HandleObject {
    std::shared_ptr<EmulatedMutex> mutex;
};

struct EventHandle : HandleObject {
    std::shared_ptr<EmulatedEvent> event;
};

class KernelObjects;

// Another program running on the emulated machine. It holds named objects without handles of the
// program's own; its actions are scripted by the test (at once, or on the clock).
class EmulatedProcess {
public:
    EmulatedProcess(KernelObjects& objects, unsigned id) : m_objects(objects), m_id(id) {}
    unsigned Id() const { return m_id; }

    // Creates or opens the named mutex and takes it. False when another process owns it.
    bool TakeMutex(const std::string& name);
    // Releases a mutex this process took. False when it does not own it.
    bool ReleaseMutex(const std::string& name);
    // Creates or opens the named event and signals it.
    void SetEvent(const std::string& name);
    // Ends the process: the mutexes it owns become abandoned.
    void Exit();

private:
    KernelObjects& m_objects;
    unsigned m_id;
    std::vector<std::shared_ptr<EmulatedMutex>> m_held;
    std::vector<std::shared_ptr<EmulatedEvent>> m_events;
};

class KernelObjects {
public:
    // The process the program under test runs in.
    static const unsigned PROGRAM = 1;

    explicit KernelObjects(VirtualClock& clock) : m_clock(clock) {}

    HandleTable& Handles() { return m_handles; }
    const HandleTable& Handles() const { return m_handles; }
    EmulatedProcess& StartProcess();

    // The named objects, created on first use by any process and kept while anyone refers to them.
    std::shared_ptr<EmulatedMutex> NamedMutex(const std::string& name, bool create, bool* existed);
    std::shared_ptr<EmulatedEvent> NamedEvent(const std::string& name, bool create, bool* existed);
    // The named mutex if it exists (for tests: who owns it, whether every account may open it).
    const EmulatedMutex* FindMutex(const std::string& name) const;

    // The program's calls.
    HANDLE CreateMutex(const SECURITY_ATTRIBUTES* attributes, bool initialOwner, const char* name);
    HANDLE OpenMutex(const char* name);
    BOOL ReleaseMutex(HANDLE handle);
    HANDLE CreateEvent(bool manualReset, bool initialState, const char* name);
    BOOL SetEventState(HANDLE handle, bool signalled);
    DWORD WaitForSingleObject(HANDLE handle, DWORD milliseconds);

    // Mutexes the program owns now, through any of its handles.
    size_t MutexesOwnedByProgram() const;

    // True after a wait without time limit found nothing that could ever end it.
    bool Deadlocked() const { return m_deadlocked; }

private:
    template <typename Object>
    std::shared_ptr<Object> Named(std::map<std::string, std::weak_ptr<Object>>& space, const std::string& name,
                                  bool create, bool* existed);

    VirtualClock& m_clock;
    HandleTable m_handles;
    std::map<std::string, std::weak_ptr<EmulatedMutex>> m_mutexNames;
    std::map<std::string, std::weak_ptr<EmulatedEvent>> m_eventNames;
    std::vector<std::unique_ptr<EmulatedProcess>> m_processes;
    bool m_deadlocked = false;
};
