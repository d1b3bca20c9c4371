// qzvctl: the technician's command-line tool for QZV-57 units.
#include <iostream>
#include <string>
#include <vector>

#include "platform/console.h"
#include "qzvctl.h"

int main(int argc, char** argv)
{
    const std::vector<std::string> arguments(argv + 1, argv + argc);
    // The update's texts are Japanese.
    ConsoleUtf8Output utf8;
    return QzvctlMain(arguments, std::cout, std::cerr);
}
