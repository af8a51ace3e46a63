#include "host/command_line.h"

namespace NS_CommandLine {

namespace {

int DigitValue(char c, unsigned base)
{
    if (c >= '0' && c <= '9') {
        return c - '0';
    }
    if (base == 16 && c >= 'a' && c <= 'f') {
        return c - 'a' + 10;
    }
    if (base == 16 && c >= 'A' && c <= 'F') {
        return c - 'A' + 10;
    }
    return -1;
}

} // namespace

std::string WithoutDashes(const std::string& argument)
{
    if (argument.size() > 2 && argument[0] == '-' && argument[1] == '-')
        return argument.substr(2);
    if (argument.size() > 1 && argument[0] == '-' && argument[1] != '-')
        return argument.substr(1);
    return std::string();
}

bool ParseUnsigned(const std::string& text, std::uint64_t low, std::uint64_t high, std::uint64_t& value, Base base)
{
    unsigned radix = 10;
    std::size_t position = 0;
    if (base == Base::DecimalOrHex && text.size() > 2 && text[0] == '0' && (text[1] == 'x' || text[1] == 'X')) {
        radix = 16;
        position = 2;
    }
    if (position == text.size()) {
        return false;
    }
    std::uint64_t number = 0;
    for (; position < text.size(); ++position) {
        const int digit = DigitValue(text[position], radix);
        if (digit < 0) {
            return false;
        }
        const auto next = static_cast<std::uint64_t>(digit);
        if (next > high || number > (high - next) / radix) {
            return false;
        }
        number = number * radix + next;
    }
    if (number < low) {
        return false;
    }
    value = number;
    return true;
}

std::string UsageLine(const char* name, const char* value, const char* help, std::size_t column)
{
    std::string line = std::string("  --") + name;
    if (value != nullptr) {
        line += std::string(" ") + value;
    }
    // At least two spaces between an option and its help, even past the column.
    line.append(line.size() + 2 > column ? 2 : column - line.size(), ' ');
    for (const char* c = help; *c != '\0'; ++c) {
        line += *c;
        if (*c == '\n' && c[1] != '\0') {
            line.append(column, ' ');
        }
    }
    return line + '\n';
}

} // namespace NS_CommandLine
