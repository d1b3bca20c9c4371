#include "host/sg/sg_device_names.h"

#include <algorithm>

namespace {

// "sg" followed by decimal digits only, of a value that fits in 32 bits.
bool ParseDeviceName(const std::string& name, unsigned* number)
{
    if (name.size() < 3 || name.compare(0, 2, "sg") != 0)
        return false;
    unsigned long long value = 0;
    for (size_t i = 2; i < name.size(); ++i) {
        if (name[i] < '0' || name[i] > '9')
            return false;
        value = value * 10 + unsigned(name[i] - '0');
        if (value > 0xFFFFFFFFull)
            return false;
    }
    *number = static_cast<unsigned>(value);
    return true;
}

}  // namespace

std::vector<unsigned> SgDeviceNumbersFromNames(const std::vector<std::string>& names)
{
    std::vector<unsigned> numbers;
    for (const std::string& name : names) {
        unsigned number;
        if (ParseDeviceName(name, &number))
            numbers.push_back(number);
    }
    std::sort(numbers.begin(), numbers.end());
    numbers.erase(std::unique(numbers.begin(), numbers.end()), numbers.end());
    return numbers;
}

std::string SgBlockDeviceFromNames(const std::vector<std::string>& names)
{
    for (const std::string& name : names)
        if (!name.empty() && name[0] != '.')
            return name;
    return std::string();
}
