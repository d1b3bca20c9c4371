// Reading and writing data files with the seam's file calls.
#include "data_file.h"

#include "image/file_replacement.h"
#include "platform/system_table.h"

namespace {

std::string FileError(const char* what, const std::string& path)
{
    return std::string(what) + " '" + path + "' (system error " + std::to_string(g_sys.GetLastError()) + ")";
}

}  // namespace

bool ReadDataFile(const std::string& path, uint64_t maxBytes, std::vector<uint8_t>* bytes, std::string* error)
{
    const HANDLE file = g_sys.CreateFileA(path.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING,
                                          FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file == INVALID_HANDLE_VALUE || !file) {
        *error = FileError("cannot open", path);
        return false;
    }
    DWORD sizeHigh = 0;
    g_sys.SetLastError(0);
    const DWORD sizeLow = g_sys.GetFileSize(file, &sizeHigh);
    const uint64_t size = uint64_t(sizeHigh) << 32 | sizeLow;
    bool ok = true;
    if (sizeLow == INVALID_FILE_SIZE && g_sys.GetLastError() != 0) {
        *error = FileError("cannot find the size of", path);
        ok = false;
    } else if (size > maxBytes) {
        *error = "'" + path + "' holds " + std::to_string(size) + " bytes, more than the " + std::to_string(maxBytes) +
                 " this command takes";
        ok = false;
    } else {
        bytes->assign(size_t(size), 0);
        DWORD read = 0;
        if (size > 0 && (!g_sys.ReadFile(file, bytes->data(), DWORD(size), &read, nullptr) || read != size)) {
            *error = FileError("cannot read", path);
            ok = false;
        }
    }
    g_sys.CloseHandle(file);
    return ok;
}

bool WriteDataFile(const std::string& path, const std::vector<uint8_t>& bytes, std::string* error)
{
    // Written beside the file and put in place when complete: a failure or an interruption leaves
    // no partial file under the name asked for, and an existing file as it was.
    FileReplacement replacement;
    const HANDLE file = FileReplacementBegin(&replacement, path.c_str());
    if (file == INVALID_HANDLE_VALUE) {
        *error = FileError("cannot create", path);
        return false;
    }
    DWORD written = 0;
    bool ok = bytes.empty() || (g_sys.WriteFile(file, bytes.data(), DWORD(bytes.size()), &written, nullptr) &&
                                written == bytes.size());
    if (!ok)
        *error = FileError("cannot write", path);
    if (!g_sys.CloseHandle(file) && ok) {
        *error = FileError("cannot close", path);
        ok = false;
    }
    if (!ok) {
        FileReplacementAbandon(&replacement);
        return false;
    }
    if (!FileReplacementCommit(&replacement)) {
        *error = FileError("cannot put in place", path);
        return false;
    }
    return true;
}
