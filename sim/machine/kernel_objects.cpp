#include "sim/machine/kernel_objects.h"

#include <set>

#include "platform/system_table.h"

namespace {

// Emulated handle values: [HANDLE_FIRST, HANDLE_END), multiples of 4 like real ones.
const uintptr_t HANDLE_FIRST = 0x7E000000u;
const uintptr_t HANDLE_END = 0x7FFF0000u;
uintptr_t s_nextHandle = HANDLE_FIRST;

bool OpenToEveryone(const SECURITY_ATTRIBUTES* attributes)
{
    if (attributes == nullptr || attributes->lpSecurityDescriptor == nullptr)
        return false;
    auto* descriptor = static_cast<const SECURITY_DESCRIPTOR*>(attributes->lpSecurityDescriptor);
    return (descriptor->Control & SE_DACL_PRESENT) && descriptor->Dacl == nullptr;
}

}  // namespace

HANDLE HandleTable::Add(std::shared_ptr<HandleObject> object)
{
    uintptr_t value = s_nextHandle;
    s_nextHandle = s_nextHandle + 4 >= HANDLE_END ? HANDLE_FIRST : s_nextHandle + 4;
    m_handles[value] = std::move(object);
    return reinterpret_cast<HANDLE>(value);
}

std::shared_ptr<HandleObject> HandleTable::Find(HANDLE handle) const
{
    auto found = m_handles.find(reinterpret_cast<uintptr_t>(handle));
    return found == m_handles.end() ? nullptr : found->second;
}

std::shared_ptr<HandleObject> HandleTable::Remove(HANDLE handle)
{
    auto found = m_handles.find(reinterpret_cast<uintptr_t>(handle));
    if (found == m_handles.end())
        return nullptr;
    std::shared_ptr<HandleObject> object = std::move(found->second);
    m_handles.erase(found);
    return object;
}

bool HandleTable::IsEmulated(HANDLE handle)
{
    uintptr_t value = reinterpret_cast<uintptr_t>(handle);
    return value >= HANDLE_FIRST && value < HANDLE_END;
}

bool EmulatedProcess::TakeMutex(const std::string& name)
{
    bool existed = false;
    std::shared_ptr<EmulatedMutex> mutex = m_objects.NamedMutex(name, true, &existed);
    if (!existed)
        mutex->openToEveryone = true;
    if (mutex->recursion > 0 && mutex->owner != m_id)
        return false;
    mutex->owner = m_id;
    ++mutex->recursion;
    mutex->abandoned = false;
    m_held.push_back(mutex);
    return true;
}

bool EmulatedProcess::ReleaseMutex(const std::string& name)
{
    for (auto held = m_held.begin(); held != m_held.end(); ++held) {
        EmulatedMutex& mutex = **held;
        if (mutex.name != name || mutex.owner != m_id)
            continue;
        if (--mutex.recursion == 0)
            mutex.owner = 0;
        m_held.erase(held);
        return true;
    }
    return false;
}

void EmulatedProcess::SetEvent(const std::string& name)
{
    bool existed = false;
    std::shared_ptr<EmulatedEvent> event = m_objects.NamedEvent(name, true, &existed);
    event->signalled = true;
    m_events.push_back(event);
}

void EmulatedProcess::Exit()
{
    for (auto& mutex : m_held) {
        if (mutex->owner == m_id) {
            mutex->owner = 0;
            mutex->recursion = 0;
            mutex->abandoned = true;
        }
    }
    m_held.clear();
    m_events.clear();
}

EmulatedProcess& KernelObjects::StartProcess()
{
    unsigned id = PROGRAM + 1 + static_cast<unsigned>(m_processes.size());
    m_processes.push_back(std::make_unique<EmulatedProcess>(*this, id));
    return *m_processes.back();
}

template <typename Object>
std::shared_ptr<Object> KernelObjects::Named(std::map<std::string, std::weak_ptr<Object>>& space,
                                             const std::string& name, bool create, bool* existed)
{
    auto found = space.find(name);
    if (found != space.end()) {
        if (std::shared_ptr<Object> object = found->second.lock()) {
            *existed = true;
            return object;
        }
    }
    *existed = false;
    if (!create)
        return nullptr;
    auto object = std::make_shared<Object>();
    object->name = name;
    space[name] = object;
    return object;
}

std::shared_ptr<EmulatedMutex> KernelObjects::NamedMutex(const std::string& name, bool create, bool* existed)
{
    return Named(m_mutexNames, name, create, existed);
}

std::shared_ptr<EmulatedEvent> KernelObjects::NamedEvent(const std::string& name, bool create, bool* existed)
{
    return Named(m_eventNames, name, create, existed);
}

const EmulatedMutex* KernelObjects::FindMutex(const std::string& name) const
{
    auto found = m_mutexNames.find(name);
    if (found == m_mutexNames.end())
        return nullptr;
    return found->second.lock().get();
}

HANDLE KernelObjects::CreateMutex(const SECURITY_ATTRIBUTES* attributes, bool initialOwner, const char* name)
{
    auto handle = std::make_shared<MutexHandle>();
    bool existed = false;
    if (name && *name) {
        handle->mutex = NamedMutex(name, true, &existed);
    } else {
        handle->mutex = std::make_shared<EmulatedMutex>();
    }
    if (!existed) {
        handle->mutex->openToEveryone = OpenToEveryone(attributes);
        if (initialOwner) {
            handle->mutex->owner = PROGRAM;
            handle->mutex->recursion = 1;
        }
    }
    HANDLE value = m_handles.Add(handle);
    g_sys.SetLastError(existed ? ERROR_ALREADY_EXISTS : ERROR_SUCCESS);
    return value;
}

HANDLE KernelObjects::OpenMutex(const char* name)
{
    bool existed = false;
    std::shared_ptr<EmulatedMutex> mutex = name ? NamedMutex(name, false, &existed) : nullptr;
    if (!mutex) {
        g_sys.SetLastError(ERROR_FILE_NOT_FOUND);
        return nullptr;
    }
    auto handle = std::make_shared<MutexHandle>();
    handle->mutex = mutex;
    return m_handles.Add(handle);
}

BOOL KernelObjects::ReleaseMutex(HANDLE value)
{
    auto* handle = m_handles.Get<MutexHandle>(value);
    if (!handle) {
        g_sys.SetLastError(ERROR_INVALID_HANDLE);
        return FALSE;
    }
    EmulatedMutex& mutex = *handle->mutex;
    if (mutex.owner != PROGRAM || mutex.recursion == 0) {
        g_sys.SetLastError(ERROR_NOT_OWNER);
        return FALSE;
    }
    if (--mutex.recursion == 0)
        mutex.owner = 0;
    return TRUE;
}

HANDLE KernelObjects::CreateEvent(bool manualReset, bool initialState, const char* name)
{
    auto handle = std::make_shared<EventHandle>();
    bool existed = false;
    if (name && *name)
        handle->event = NamedEvent(name, true, &existed);
    else
        handle->event = std::make_shared<EmulatedEvent>();
    if (!existed) {
        handle->event->manualReset = manualReset;
        handle->event->signalled = initialState;
    }
    HANDLE value = m_handles.Add(handle);
    g_sys.SetLastError(existed ? ERROR_ALREADY_EXISTS : ERROR_SUCCESS);
    return value;
}

BOOL KernelObjects::SetEventState(HANDLE value, bool signalled)
{
    auto* handle = m_handles.Get<EventHandle>(value);
    if (!handle) {
        g_sys.SetLastError(ERROR_INVALID_HANDLE);
        return FALSE;
    }
    handle->event->signalled = signalled;
    return TRUE;
}

DWORD KernelObjects::WaitForSingleObject(HANDLE value, DWORD milliseconds)
{
    std::shared_ptr<HandleObject> object = m_handles.Find(value);
    if (auto* handle = dynamic_cast<MutexHandle*>(object.get())) {
        std::shared_ptr<EmulatedMutex> mutex = handle->mutex;
        auto available = [&] { return mutex->recursion == 0 || mutex->owner == PROGRAM; };
        if (!m_clock.AdvanceUntil(milliseconds, available)) {
            if (milliseconds != INFINITE)
                return WAIT_TIMEOUT;
            m_deadlocked = true;
            g_sys.SetLastError(ERROR_POSSIBLE_DEADLOCK);
            return WAIT_FAILED;
        }
        bool abandoned = mutex->abandoned;
        mutex->abandoned = false;
        mutex->owner = PROGRAM;
        ++mutex->recursion;
        return abandoned ? WAIT_ABANDONED : WAIT_OBJECT_0;
    }
    if (auto* handle = dynamic_cast<EventHandle*>(object.get())) {
        std::shared_ptr<EmulatedEvent> event = handle->event;
        if (!m_clock.AdvanceUntil(milliseconds, [&] { return event->signalled; })) {
            if (milliseconds != INFINITE)
                return WAIT_TIMEOUT;
            m_deadlocked = true;
            g_sys.SetLastError(ERROR_POSSIBLE_DEADLOCK);
            return WAIT_FAILED;
        }
        if (!event->manualReset)
            event->signalled = false;
        return WAIT_OBJECT_0;
    }
    g_sys.SetLastError(ERROR_INVALID_HANDLE);
    return WAIT_FAILED;
}

size_t KernelObjects::MutexesOwnedByProgram() const
{
    std::set<const EmulatedMutex*> owned;
    m_handles.ForEach([&](const HandleObject& object) {
        auto* handle = dynamic_cast<const MutexHandle*>(&object);
        if (handle && handle->mutex->owner == PROGRAM && handle->mutex->recursion > 0)
            owned.insert(handle->mutex.get());
    });
    return owned.size();
}
