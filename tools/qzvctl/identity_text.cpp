// Identity and version texts.
#include "identity_text.h"

#include "image/firmware_image.h"

std::string InquiryText(const BYTE* bytes, size_t length)
{
    std::string text;
    for (size_t i = 0; i < length; ++i)
        text += bytes[i] >= 0x20 && bytes[i] < 0x7F ? char(bytes[i]) : '.';
    const size_t end = text.find_last_not_of(' ');
    return end == std::string::npos ? std::string() : text.substr(0, end + 1);
}

void AddIdentity(Report& report, const BYTE* inquiry)
{
    report.Add("vendor", Report::Text(InquiryText(inquiry + 8, 8)));
    report.Add("product", Report::Text(InquiryText(inquiry + 16, 16)));
    report.Add("revision", Report::Text(InquiryText(inquiry + 32, 4)));
}

std::string VersionText(const BYTE* version)
{
    std::string text;
    for (int i = 0; i < IMAGE_VERSION_LENGTH && version[i] != 0; ++i)
        text += version[i] >= 0x20 && version[i] < 0x7F ? char(version[i]) : '.';
    return text;
}
