#include "wintest.h"

#include "helpers.h"

namespace wintest {

// ---- text conversion ------------------------------------------------------

std::wstring decode(const std::string& text, UINT codepage) {
    int length = MultiByteToWideChar(codepage, 0, text.data(), (int)text.size(), NULL, 0);
    std::wstring wide(length, L'\0');
    if (length > 0)
        MultiByteToWideChar(codepage, 0, text.data(), (int)text.size(), &wide[0], length);
    return wide;
}

std::string encode(const std::wstring& wide, UINT codepage) {
    int length =
        WideCharToMultiByte(codepage, 0, wide.data(), (int)wide.size(), NULL, 0, NULL, NULL);
    std::string text(length, '\0');
    if (length > 0)
        WideCharToMultiByte(codepage, 0, wide.data(), (int)wide.size(), &text[0], length, NULL,
                            NULL);
    return text;
}

std::string to_utf8(const std::string& text, UINT codepage) {
    return encode(decode(text, codepage), CP_UTF8);
}

std::string from_utf8(const std::string& utf8, UINT codepage) {
    return encode(decode(utf8, CP_UTF8), codepage);
}

std::string wide_to_utf8(const std::wstring& wide) {
    return encode(wide, CP_UTF8);
}

bool starts_with(const std::string& text, const std::string& prefix) {
    return text.compare(0, prefix.size(), prefix) == 0;
}

std::wstring utf8_to_wide(const std::string& utf8) {
    return decode(utf8, CP_UTF8);
}

std::vector<std::string> split_lines(const std::string& content) {
    std::vector<std::string> lines;
    size_t start = 0;
    while (start < content.size()) {
        size_t end = content.find("\r\n", start);
        if (end == std::string::npos) {
            lines.push_back(content.substr(start));
            break;
        }
        lines.push_back(content.substr(start, end - start));
        start = end + 2;
    }
    return lines;
}

} // namespace wintest
