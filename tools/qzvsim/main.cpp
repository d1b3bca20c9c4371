// qzvsim: simulated QZV-57 units as iSCSI targets.
#include <iostream>

#include "qzvsim.h"

int main(int argc, char** argv)
{
    return QzvsimMain(std::vector<std::string>(argv + 1, argv + argc), std::cout, std::cerr);
}
