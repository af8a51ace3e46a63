// What the command lines of the saver and the tools share: one table per
// program, which drives both the parsing and the option lines of the usage,
// and the one reader of numbers.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

namespace NS_CommandLine {

enum class Base {
    Decimal,
    DecimalOrHex, // "0x" or "0X" then hexadecimal digits; otherwise decimal (a leading 0 is not octal)
};

// Digits only: no sign, no spaces, nothing after. True, with `value` set, when
// the number lies within [low, high]; the bound is checked on every digit, so
// no string of digits can wrap around. `value` is left alone otherwise.
bool ParseUnsigned(const std::string& text, std::uint64_t low, std::uint64_t high, std::uint64_t& value,
                   Base base = Base::Decimal);

// One option of a program. `Settings` is what the program's parser fills.
template <class Settings> struct Option {
    const char* name;  // the long spelling, without its dashes
    const char* alias; // a one-letter spelling ("h"), or null
    const char* value; // what the usage calls its value ("ID"), or null when it takes none
    const char* needs; // ends "--name needs ..." when the value is missing
    const char* help;  // its text in the usage; a '\n' goes on under the first line
    // Sets what the option sets, from its value (empty for one that takes
    // none); returns what is wrong with the value, or an empty string.
    std::string (*set)(Settings& settings, const std::string& value);
};

// The option whose name or alias is `name`, or null.
template <class Settings, std::size_t N>
const Option<Settings>* Named(const Option<Settings> (&table)[N], const std::string& name)
{
    for (const Option<Settings>& option : table) {
        if (name == option.name || (option.alias != nullptr && name == option.alias)) {
            return &option;
        }
    }
    return nullptr;
}

// The option written exactly "--name" or "-alias", or null.
template <class Settings, std::size_t N>
const Option<Settings>* Spelled(const Option<Settings> (&table)[N], const std::string& argument)
{
    for (const Option<Settings>& option : table) {
        if (argument == std::string("--") + option.name ||
            (option.alias != nullptr && argument == std::string("-") + option.alias)) {
            return &option;
        }
    }
    return nullptr;
}

// How a program's options are written.
enum class Spelling {
    Exact,         // "--name" or "-alias", the value in the next argument
    OneOrTwoDashes // "-name" or "--name", as XScreenSaver's hacks take them; the value next or after '='
};

// "root" for "-root" and "--root", "window-id=0x2a" for "--window-id=0x2a"; an
// empty string for what is no option ("", "-", "---x" keeps "-x").
std::string WithoutDashes(const std::string& argument);

// What stopped a walk over the arguments, or nothing.
struct WalkError {
    enum class Kind {
        None,
        Unknown,       // no option of the table, and not taken as a bare argument
        NoValue,       // the option's value is missing: `problem` is the option's `needs`
        ValueNotTaken, // a value after '=' for an option that takes none
        BadValue,      // the option's setter refused its value: `problem` says why
    };
    Kind kind = Kind::None;
    std::string argument; // as written
    std::string problem;
    explicit operator bool() const { return kind != Kind::None; }
};

// The one walk of every program's arguments: each option of the table found,
// its setter called with its value. An argument that starts with no '-' and
// is no option goes to `bare`, which answers whether the program takes it.
// `finished`, asked after each option that takes no value, ends the walk at
// once (--help answers whatever follows it). The first problem ends it.
template <class Settings, std::size_t N, class Bare, class Finished>
WalkError Walk(const Option<Settings> (&table)[N], const std::vector<std::string>& arguments, Settings& settings,
               Spelling spelling, Bare&& bare, Finished&& finished)
{
    for (std::size_t i = 0; i < arguments.size(); ++i) {
        const std::string& argument = arguments[i];
        std::string value;
        bool valueAttached = false;
        const Option<Settings>* option = nullptr;
        if (spelling == Spelling::Exact) {
            option = Spelled(table, argument);
        } else {
            std::string name = WithoutDashes(argument);
            const std::size_t equals = name.find('=');
            if (equals != std::string::npos) {
                value = name.substr(equals + 1);
                name.erase(equals);
                valueAttached = true;
            }
            option = Named(table, name);
        }
        if (option == nullptr) {
            if ((argument.empty() || argument[0] != '-') && bare(argument))
                continue;
            return {WalkError::Kind::Unknown, argument, {}};
        }
        if (option->value == nullptr) {
            std::string problem = option->set(settings, std::string());
            if (finished())
                return {};
            if (!problem.empty())
                return {WalkError::Kind::BadValue, argument, std::move(problem)};
            if (valueAttached)
                return {WalkError::Kind::ValueNotTaken, argument, {}};
            continue;
        }
        if (!valueAttached) {
            if (i + 1 == arguments.size())
                return {WalkError::Kind::NoValue, argument, option->needs};
            value = arguments[++i];
        }
        std::string problem = option->set(settings, value);
        if (!problem.empty())
            return {WalkError::Kind::BadValue, argument, std::move(problem)};
    }
    return {};
}

// "  --name VALUE" and the help from `column` on, one line per line of help.
std::string UsageLine(const char* name, const char* value, const char* help, std::size_t column);

template <class Settings, std::size_t N> std::string UsageLines(const Option<Settings> (&table)[N], std::size_t column)
{
    std::string lines;
    for (const Option<Settings>& option : table) {
        lines += UsageLine(option.name, option.value, option.help, column);
    }
    return lines;
}

// An option as documents name it: its long name and whether it takes a value.
struct Form {
    std::string name;
    bool takesValue;
};

template <class Settings, std::size_t N> std::vector<Form> Forms(const Option<Settings> (&table)[N])
{
    std::vector<Form> forms;
    for (const Option<Settings>& option : table) {
        forms.push_back(Form{option.name, option.value != nullptr});
    }
    return forms;
}

} // namespace NS_CommandLine
