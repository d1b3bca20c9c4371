// A program that does nothing but links the system layer: the baseline that shows what the
// conversion itself adds to a program of ours.
#include "platform/system_table.h"

int main()
{
    return g_sys.GetLastError() == ERROR_SUCCESS ? 0 : 1;
}
