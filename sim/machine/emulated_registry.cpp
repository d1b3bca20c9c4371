#include "sim/machine/emulated_registry.h"

#include <cctype>
#include <cstring>

namespace {

bool SameName(const std::string& a, const std::string& b)
{
    if (a.size() != b.size())
        return false;
    for (size_t i = 0; i < a.size(); ++i) {
        if (std::tolower(static_cast<unsigned char>(a[i])) != std::tolower(static_cast<unsigned char>(b[i])))
            return false;
    }
    return true;
}

// The names of a path, empty ones (doubled or trailing backslashes) left out.
std::vector<std::string> PathNames(const std::string& path)
{
    std::vector<std::string> names;
    std::string name;
    for (char c : path) {
        if (c != '\\') {
            name += c;
            continue;
        }
        if (!name.empty())
            names.push_back(name);
        name.clear();
    }
    if (!name.empty())
        names.push_back(name);
    return names;
}

// The predefined roots are the sign-extended values 0x80000000 to 0x8000000F.
bool IsPredefined(HKEY key)
{
    uintptr_t value = reinterpret_cast<uintptr_t>(key);
    uintptr_t root = reinterpret_cast<uintptr_t>(HKEY_CLASSES_ROOT);
    return value >= root && value <= root + 0x0F;
}

struct RegistryKeyHandle : HandleObject {
    std::shared_ptr<RegistryKey> key;
};

}  // namespace

RegistryKey& RegistryKey::Subkey(const std::string& path)
{
    RegistryKey* key = this;
    for (const std::string& name : PathNames(path)) {
        RegistryKey* next = nullptr;
        for (auto& subkey : key->m_subkeys) {
            if (SameName(subkey->m_name, name))
                next = subkey.get();
        }
        if (next == nullptr) {
            key->m_subkeys.push_back(std::make_shared<RegistryKey>(name));
            next = key->m_subkeys.back().get();
        }
        key = next;
    }
    return *key;
}

std::shared_ptr<RegistryKey> RegistryKey::Find(const std::string& path) const
{
    std::shared_ptr<RegistryKey> found;
    const RegistryKey* key = this;
    for (const std::string& name : PathNames(path)) {
        found = nullptr;
        for (auto& subkey : key->m_subkeys) {
            if (SameName(subkey->m_name, name))
                found = subkey;
        }
        if (!found)
            return nullptr;
        key = found.get();
    }
    return found;
}

void RegistryKey::RemoveSubkey(const std::string& name)
{
    for (auto subkey = m_subkeys.begin(); subkey != m_subkeys.end(); ++subkey) {
        if (SameName((*subkey)->m_name, name)) {
            m_subkeys.erase(subkey);
            return;
        }
    }
}

RegistryKey& RegistryKey::SetString(const std::string& name, const std::string& text)
{
    std::vector<BYTE> data(text.begin(), text.end());
    data.push_back(0);
    return SetValue(name, REG_SZ, data);
}

RegistryKey& RegistryKey::SetValue(const std::string& name, DWORD type, const std::vector<BYTE>& data)
{
    RegistryValue value;
    value.type = type;
    value.data = data;
    for (auto& entry : m_values) {
        if (SameName(entry.first, name)) {
            entry.second = value;
            return *this;
        }
    }
    m_values.emplace_back(name, value);
    return *this;
}

void RegistryKey::RemoveValue(const std::string& name)
{
    for (auto entry = m_values.begin(); entry != m_values.end(); ++entry) {
        if (SameName(entry->first, name)) {
            m_values.erase(entry);
            return;
        }
    }
}

const RegistryValue* RegistryKey::Value(const std::string& name) const
{
    for (auto& entry : m_values) {
        if (SameName(entry.first, name))
            return &entry.second;
    }
    return nullptr;
}

void RegistryKey::FailClose(LONG error, unsigned times)
{
    m_closeError = error;
    m_closeFaults = times;
}

LONG RegistryKey::TakeCloseFault()
{
    if (m_closeFaults == 0)
        return ERROR_SUCCESS;
    --m_closeFaults;
    return m_closeError;
}

std::shared_ptr<RegistryKey> EmulatedRegistry::Root(HKEY root) const
{
    if (!IsPredefined(root))
        return nullptr;
    std::shared_ptr<RegistryKey>& key = m_roots[reinterpret_cast<uintptr_t>(root)];
    if (!key)
        key = std::make_shared<RegistryKey>("");
    return key;
}

RegistryKey& EmulatedRegistry::Key(HKEY root, const std::string& path)
{
    return Root(root)->Subkey(path);
}

std::shared_ptr<RegistryKey> EmulatedRegistry::FindKey(HKEY root, const std::string& path) const
{
    std::shared_ptr<RegistryKey> key = Root(root);
    return key ? key->Find(path) : nullptr;
}

std::shared_ptr<RegistryKey> EmulatedRegistry::Resolve(HKEY key) const
{
    if (IsPredefined(key))
        return Root(key);
    auto* handle = m_handles.Get<RegistryKeyHandle>(reinterpret_cast<HANDLE>(key));
    return handle ? handle->key : nullptr;
}

LONG EmulatedRegistry::Open(HKEY key, const char* subKey, HKEY* result)
{
    if (result == nullptr)
        return ERROR_INVALID_PARAMETER;
    *result = nullptr;
    std::shared_ptr<RegistryKey> parent = Resolve(key);
    if (!parent)
        return ERROR_INVALID_HANDLE;
    std::shared_ptr<RegistryKey> opened = subKey && *subKey ? parent->Find(subKey) : parent;
    if (!opened)
        return ERROR_FILE_NOT_FOUND;
    auto handle = std::make_shared<RegistryKeyHandle>();
    handle->key = opened;
    *result = reinterpret_cast<HKEY>(m_handles.Add(handle));
    ++m_openKeys;
    return ERROR_SUCCESS;
}

LONG EmulatedRegistry::EnumKey(HKEY key, DWORD index, char* name, DWORD* length)
{
    std::shared_ptr<RegistryKey> parent = Resolve(key);
    if (!parent)
        return ERROR_INVALID_HANDLE;
    if (name == nullptr || length == nullptr)
        return ERROR_INVALID_PARAMETER;
    if (index >= parent->Subkeys().size())
        return ERROR_NO_MORE_ITEMS;
    const std::string& subkey = parent->Subkeys()[index]->Name();
    if (subkey.size() + 1 > *length)
        return ERROR_MORE_DATA;
    std::memcpy(name, subkey.c_str(), subkey.size() + 1);
    *length = static_cast<DWORD>(subkey.size());
    return ERROR_SUCCESS;
}

LONG EmulatedRegistry::QueryValue(HKEY key, const char* name, DWORD* type, BYTE* data, DWORD* length)
{
    ++m_valueReads;
    std::shared_ptr<RegistryKey> owner = Resolve(key);
    if (!owner)
        return ERROR_INVALID_HANDLE;
    if (data != nullptr && length == nullptr)
        return ERROR_INVALID_PARAMETER;
    const RegistryValue* value = owner->Value(name ? name : "");
    if (value == nullptr)
        return ERROR_FILE_NOT_FOUND;
    if (type)
        *type = value->type;
    const DWORD size = static_cast<DWORD>(value->data.size());
    if (data != nullptr && *length < size) {
        *length = size;
        return ERROR_MORE_DATA;
    }
    if (data != nullptr && size > 0)
        std::memcpy(data, value->data.data(), size);
    if (length)
        *length = size;
    return ERROR_SUCCESS;
}

LONG EmulatedRegistry::Close(HKEY key)
{
    if (IsPredefined(key))
        return ERROR_SUCCESS;
    auto* handle = m_handles.Get<RegistryKeyHandle>(reinterpret_cast<HANDLE>(key));
    if (handle == nullptr)
        return ERROR_INVALID_HANDLE;
    LONG fault = handle->key->TakeCloseFault();
    if (fault != ERROR_SUCCESS)
        return fault;
    m_handles.Remove(reinterpret_cast<HANDLE>(key));
    --m_openKeys;
    return ERROR_SUCCESS;
}
