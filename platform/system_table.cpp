// The table in force and the native table it starts from.
#include "platform/system_table.h"

namespace {

SystemTable MakeNativeTable()
{
    SystemTable table{};
    SystemFillNativeTable(&table);
    return table;
}

}  // namespace

const SystemTable& SystemNativeTable(void)
{
    static const SystemTable native = MakeNativeTable();
    return native;
}

SystemTable g_sys = SystemNativeTable();

void SystemTableInstall(const SystemTable& table)
{
    g_sys = table;
}

void SystemTableReset(void)
{
    g_sys = SystemNativeTable();
}
