#include "tools/add-to-xscreensaver/xscreensaver_list.h"

#include <cctype>
#include <cstddef>
#include <string>
#include <vector>

namespace NS_XScreenSaverList {

const char* const kEntryLine = "  GL: \t\t\t\tvelmora --root\t\t\t\t    \\n";

namespace {

// XScreenSaver's settings write the name, pad to column 72 and continue the
// line; the list then ends on an empty line.
const std::string kProgramsHead = "programs:\t\t\t\t\t\t\t\t      \\\n";
const std::string kContinuation = "\\\n";
const std::string kSeparator = "\\n";
// The entry without its separator, after a last entry that has none: a list
// written that way stays so, and the file it came from can be told apart
// from one whose last entry did have it.
const std::string kBareEntry = "  GL: \t\t\t\tvelmora --root";

std::string ProgramsBlock()
{
    return kProgramsHead + kEntryLine + kContinuation + "\n";
}

bool IsBlank(char c)
{
    return c == ' ' || c == '\t';
}

// One entry of the list: the raw bytes from just after the previous "\n"
// (or the start of the value) to its own "\n", and its text with the
// continuations and escapes taken out, as XScreenSaver reads it.
struct Entry {
    std::size_t begin = 0;
    std::size_t end = 0;    // where its "\n" starts, or the end of the value
    std::size_t sepEnd = 0; // just after its "\n"; end when it has none
    bool terminated = false;
    std::string text;
};

struct Parsed {
    std::string refusal;
    bool hasPrograms = false;
    std::size_t valueBegin = 0;
    std::size_t valueEnd = 0;
    std::vector<Entry> entries;
};

// Whether the line [begin, end) ends in a backslash that escapes its newline
// (an odd number of them: two are an escaped backslash).
bool EndsInContinuation(const std::string& f, std::size_t begin, std::size_t end)
{
    std::size_t count = 0;
    while (end > begin + count && f[end - 1 - count] == '\\') {
        ++count;
    }
    return count % 2 == 1;
}

void SplitEntries(const std::string& f, Parsed& p)
{
    Entry current;
    current.begin = p.valueBegin;
    std::size_t i = p.valueBegin;
    while (i < p.valueEnd) {
        const char c = f[i];
        if (c == '\\' && i + 1 < p.valueEnd) {
            const char d = f[i + 1];
            if (d == 'n') {
                current.end = i;
                current.sepEnd = i + 2;
                current.terminated = true;
                p.entries.push_back(current);
                current = Entry{};
                current.begin = i + 2;
            } else if (d != '\n') {
                current.text += c;
                current.text += d;
            }
            i += 2;
            continue;
        }
        current.text += c;
        ++i;
    }
    current.end = p.valueEnd;
    current.sepEnd = p.valueEnd;
    p.entries.push_back(current);
}

std::string Trim(const std::string& s)
{
    std::size_t b = 0;
    std::size_t e = s.size();
    while (b < e && IsBlank(s[b])) {
        ++b;
    }
    while (e > b && IsBlank(s[e - 1])) {
        --e;
    }
    return s.substr(b, e - b);
}

// The text with each run of blanks as one space, for showing it.
std::string OneLine(const std::string& s)
{
    std::string out;
    for (char c : Trim(s)) {
        if (!IsBlank(c)) {
            out += c;
        } else if (out.back() != ' ') {
            out += ' ';
        }
    }
    return out;
}

// "Programs:", "*programs:", "xscreensaver.programs:": whether XScreenSaver
// takes one of them for its list is not sure, so neither is an edit.
bool NamesTheListOtherwise(const std::string& key)
{
    std::string lower;
    for (char c : key) {
        lower += static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    }
    const std::size_t at = lower.size() >= 8 ? lower.size() - 8 : std::string::npos;
    return at != std::string::npos && lower.compare(at, 8, "programs") == 0 &&
           (at == 0 || lower[at - 1] == '.' || lower[at - 1] == '*');
}

// Where the line that starts at pos ends: its "\n", or the end of the file.
std::size_t LineEnd(const std::string& f, std::size_t pos)
{
    const std::size_t end = f.find('\n', pos);
    return end == std::string::npos ? f.size() : end;
}

std::size_t FirstNonBlank(const std::string& f, std::size_t begin, std::size_t end)
{
    while (begin < end && IsBlank(f[begin])) {
        ++begin;
    }
    return begin;
}

// The setting's value runs on over every line that ends in a continuation.
// Where its last line ends, counting the lines it runs on to in `line`; npos
// when the file ends in the middle of it.
std::size_t SettingEnd(const std::string& f, std::size_t lineBegin, std::size_t lineEnd, int& line)
{
    std::size_t physicalBegin = lineBegin;
    std::size_t logicalEnd = lineEnd;
    while (EndsInContinuation(f, physicalBegin, logicalEnd)) {
        if (logicalEnd == f.size()) {
            return std::string::npos;
        }
        physicalBegin = logicalEnd + 1;
        ++line;
        logicalEnd = LineEnd(f, physicalBegin);
    }
    return logicalEnd;
}

// Takes note of the list of screen savers when the setting [first, end) is
// it; a refusal when it is set twice, or in a form not sure to be it.
void ReadSetting(const std::string& f, std::size_t first, std::size_t colon, std::size_t end, int startLine, Parsed& p)
{
    const std::string key = Trim(f.substr(first, colon - first));
    if (key == "programs") {
        if (p.hasPrograms) {
            p.refusal =
                "it sets the list of screen savers (programs:) twice, on line " + std::to_string(startLine) + " again";
            return;
        }
        p.hasPrograms = true;
        p.valueBegin = colon + 1;
        p.valueEnd = end;
        if (f.find('\r', p.valueBegin) < p.valueEnd) {
            p.refusal = "its list of screen savers has carriage returns (Windows line ends)";
        }
    } else if (NamesTheListOtherwise(key)) {
        p.refusal = "line " + std::to_string(startLine) + " sets the list of screen savers as \"" + key +
                    ":\", a form XScreenSaver's settings never write";
    }
}

Parsed Parse(const std::string& f)
{
    Parsed p;
    if (f.find('\0') != std::string::npos) {
        p.refusal = "it holds a NUL byte, so it is not a text file";
        return p;
    }
    std::size_t pos = 0;
    int line = 1;
    while (pos < f.size()) {
        const std::size_t lineEnd = LineEnd(f, pos);
        const std::size_t first = FirstNonBlank(f, pos, lineEnd);
        const int startLine = line;
        if (first == lineEnd) {
            pos = lineEnd + 1;
            ++line;
            continue;
        }
        if (f[first] == '#' || f[first] == '!') {
            if (EndsInContinuation(f, pos, lineEnd)) {
                p.refusal = "line " + std::to_string(line) +
                            ", a comment, ends in a backslash, so it is unclear whether the next line belongs to it";
                return p;
            }
            pos = lineEnd + 1;
            ++line;
            continue;
        }
        const std::size_t colon = f.find(':', first);
        if (colon == std::string::npos || colon >= lineEnd) {
            p.refusal = "line " + std::to_string(line) + " is neither a setting (name: value) nor a comment";
            return p;
        }
        const std::size_t end = SettingEnd(f, pos, lineEnd, line);
        if (end == std::string::npos) {
            p.refusal =
                "it ends in a backslash, in the middle of the setting that starts on line " + std::to_string(startLine);
            return p;
        }
        ReadSetting(f, first, colon, end, startLine, p);
        if (!p.refusal.empty()) {
            return p;
        }
        pos = end + 1;
        ++line;
    }
    if (p.hasPrograms) {
        SplitEntries(f, p);
    }
    return p;
}

// What an entry names: "[-] [visual:] ["name"] command ...".
struct Hack {
    bool blank = true;
    bool disabled = false;
    std::string program;
};

bool ReadHack(const std::string& raw, Hack& hack, std::string& refusal)
{
    std::string s = Trim(raw);
    if (s.empty()) {
        return true;
    }
    hack.blank = false;
    if (s[0] == '-') {
        hack.disabled = true;
        s = Trim(s.substr(1));
    }
    std::size_t word = 0;
    while (word < s.size() && (std::isalnum(static_cast<unsigned char>(s[word])) || s[word] == '_' || s[word] == '-')) {
        ++word;
    }
    if (word > 0 && word < s.size() && s[word] == ':') {
        s = Trim(s.substr(word + 1));
    }
    if (!s.empty() && s[0] == '"') {
        const std::size_t close = s.find('"', 1);
        if (close == std::string::npos) {
            refusal = "an entry of its list of screen savers opens a quoted name that it never closes";
            return false;
        }
        s = Trim(s.substr(close + 1));
    }
    std::size_t end = 0;
    while (end < s.size() && !IsBlank(s[end])) {
        ++end;
    }
    std::string command = s.substr(0, end);
    const std::size_t slash = command.rfind('/');
    hack.program = slash == std::string::npos ? command : command.substr(slash + 1);
    return true;
}

// The entries that run velmora, whatever their form; an empty refusal when
// every entry could be read.
std::vector<std::size_t> VelmoraEntries(const Parsed& p, std::vector<Hack>& hacks, std::string& refusal)
{
    std::vector<std::size_t> found;
    hacks.assign(p.entries.size(), Hack{});
    for (std::size_t i = 0; i < p.entries.size(); ++i) {
        if (!ReadHack(p.entries[i].text, hacks[i], refusal)) {
            return {};
        }
        if (hacks[i].program == "velmora") {
            found.push_back(i);
        }
    }
    return found;
}

Edit Refuse(const std::string& reason)
{
    Edit e;
    e.outcome = Outcome::Refused;
    e.reason = reason;
    return e;
}

// Where the entry's first word starts, past blanks and continuations.
std::size_t ContentStart(const std::string& f, const Entry& entry, std::size_t& lineStart)
{
    lineStart = entry.begin;
    std::size_t i = entry.begin;
    while (i < entry.end) {
        if (IsBlank(f[i])) {
            ++i;
        } else if (f.compare(i, 2, kContinuation) == 0) {
            i += 2;
            lineStart = i;
        } else {
            break;
        }
    }
    return i;
}

// Takes one entry out, with its separator, and where it had a line of its
// own, that whole line.
std::string WithoutEntry(const std::string& f, const Parsed& p, std::size_t k)
{
    const Entry& entry = p.entries[k];
    std::string text = f;
    if (!entry.terminated) {
        const std::size_t from = k > 0 ? p.entries[k - 1].end : entry.begin;
        return text.erase(from, entry.end - from);
    }
    std::size_t lineStart = entry.begin;
    ContentStart(f, entry, lineStart);
    if (lineStart > entry.begin && f.compare(entry.sepEnd, 2, kContinuation) == 0 && entry.sepEnd + 2 <= p.valueEnd) {
        return text.erase(lineStart, entry.sepEnd + 2 - lineStart);
    }
    return text.erase(entry.begin, entry.sepEnd - entry.begin);
}

// Switches on the first velmora entry by taking its "-" away.
Edit EnableEntry(const std::string& file, const Parsed& p, std::size_t k)
{
    Edit e;
    std::size_t lineStart = 0;
    const std::size_t dash = ContentStart(file, p.entries[k], lineStart);
    e.outcome = Outcome::Enabled;
    e.text = file;
    e.text.erase(dash, 1);
    // An entry written in a form of its own ("--velmora", say) may still
    // read as switched off; then it is the user's to change.
    const Parsed after = Parse(e.text);
    std::vector<Hack> now;
    std::string refusal;
    const std::vector<std::size_t> still = VelmoraEntries(after, now, refusal);
    for (std::size_t i : still) {
        if (!now[i].disabled) {
            return e;
        }
    }
    return Refuse("its entry for velmora is switched off in a form that taking one \"-\" away does not "
                  "switch on");
}

// At the end of the list, so that the numbers of the others (the
// "selected:" setting counts in it) stay as they are.
Edit AppendEntry(const std::string& file, const Parsed& p, const std::vector<Hack>& hacks)
{
    const Entry& tail = p.entries.back();
    std::string insert;
    // An empty list never takes the settings' layout, which is also what a
    // list appended to a file without one looks like: removing the entry
    // could not tell the two files apart.
    bool emptyList = true;
    for (const Hack& hack : hacks) {
        emptyList = emptyList && hack.blank;
    }
    if (!hacks.back().blank) {
        insert = kSeparator + kContinuation + kBareEntry;
    } else if (!emptyList && p.valueEnd >= p.valueBegin + 2 && file.compare(p.valueEnd - 2, 2, kContinuation) == 0 &&
               p.valueEnd - 2 >= tail.begin) {
        insert = kEntryLine + kContinuation;
    } else {
        insert = kContinuation + kEntryLine;
    }
    Edit e;
    e.outcome = Outcome::Added;
    e.text = file;
    e.text.insert(p.valueEnd, insert);
    return e;
}

// What this program added comes out exactly: each form it may have
// written is tried, and kept only if adding again gives the file back. False
// when none does.
bool UndoWhatWasAdded(const std::string& file, const Parsed& p, std::string& before)
{
    std::vector<std::string> candidates;
    const std::string block = ProgramsBlock();
    if (file == block) {
        candidates.push_back({});
    } else if (file.size() > block.size() &&
               file.compare(file.size() - block.size() - 1, block.size() + 1, "\n" + block) == 0) {
        candidates.push_back(file.substr(0, file.size() - block.size() - 1));
    }
    const std::string line = kEntryLine;
    for (const std::string& added :
         {line + kContinuation, kContinuation + line, kSeparator + kContinuation + kBareEntry}) {
        if (p.valueEnd >= p.valueBegin + added.size() &&
            file.compare(p.valueEnd - added.size(), added.size(), added) == 0) {
            std::string candidate = file;
            candidates.push_back(candidate.erase(p.valueEnd - added.size(), added.size()));
        }
    }
    for (const std::string& candidate : candidates) {
        const Edit again = AddEntry(candidate);
        if (again.outcome == Outcome::Added && again.text == file) {
            before = candidate;
            return true;
        }
    }
    return false;
}

// Every velmora entry goes, one at a time, from the last.
Edit RemoveEveryEntry(const std::string& file, Parsed p, std::vector<std::size_t> velmora)
{
    std::vector<Hack> hacks;
    std::string refusal;
    std::string text = file;
    while (!velmora.empty()) {
        text = WithoutEntry(text, p, velmora.back());
        p = Parse(text);
        velmora = VelmoraEntries(p, hacks, refusal);
        if (!p.refusal.empty() || !refusal.empty()) {
            return Refuse("taking the entry out would leave a list that cannot be read");
        }
    }
    Edit e;
    e.outcome = Outcome::Removed;
    e.text = text;
    return e;
}

} // namespace

std::string NewFile()
{
    return "# XScreenSaver Preferences File\n"
           "# Written by velmora-add-to-xscreensaver with only the list of screen savers:\n"
           "# XScreenSaver adds the hacks of its own list, and xscreensaver-settings\n"
           "# writes every other setting when it saves.\n"
           "\n" +
           ProgramsBlock();
}

Edit AddEntry(const std::string& file)
{
    const Parsed p = Parse(file);
    if (!p.refusal.empty()) {
        return Refuse(p.refusal);
    }
    Edit e;
    if (!p.hasPrograms) {
        // After an empty line, which also ends a last line without its
        // newline or a setting continued past the end; always the same, so
        // that taking the list out again can tell what was there before.
        e.outcome = Outcome::Added;
        e.text = file + (file.empty() ? "" : "\n") + ProgramsBlock();
        return e;
    }
    std::vector<Hack> hacks;
    std::string refusal;
    const std::vector<std::size_t> velmora = VelmoraEntries(p, hacks, refusal);
    if (!refusal.empty()) {
        return Refuse(refusal);
    }
    for (std::size_t k : velmora) {
        if (!hacks[k].disabled) {
            e.outcome = Outcome::AlreadyPresent;
            e.found = OneLine(p.entries[k].text);
            return e;
        }
    }
    if (!velmora.empty()) {
        return EnableEntry(file, p, velmora.front());
    }
    return AppendEntry(file, p, hacks);
}

Edit RemoveEntry(const std::string& file)
{
    const Parsed p = Parse(file);
    if (!p.refusal.empty()) {
        return Refuse(p.refusal);
    }
    Edit e;
    if (file == NewFile()) {
        e.outcome = Outcome::RemovedAll;
        return e;
    }
    std::vector<Hack> hacks;
    std::string refusal;
    const std::vector<std::size_t> velmora = VelmoraEntries(p, hacks, refusal);
    if (!refusal.empty()) {
        return Refuse(refusal);
    }
    if (velmora.empty()) {
        e.outcome = Outcome::NotPresent;
        return e;
    }
    e.outcome = Outcome::Removed;
    if (velmora.size() == 1 && UndoWhatWasAdded(file, p, e.text)) {
        return e;
    }
    return RemoveEveryEntry(file, p, velmora);
}

} // namespace NS_XScreenSaverList
