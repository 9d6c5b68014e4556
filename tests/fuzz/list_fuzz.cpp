// Fuzz target: a whole uninstall list and a folder prefix through
// ReadListEntry.
//
// Input: the install folder, up to the first LF or NUL (cut to fit and given
// its backslash as the driver does), then the bytes of Uninstall.lst.
//
// Every entry that comes back must
//   - be terminated inside its MAX_PATH buffer, at most 259 characters;
//   - start with the prefix, and have no component of only dots and blanks
//     with two or more dots after it (it cannot leave the install folder);
//   - be the trimmed text of one whole line of the list, taken in order,
//     never the tail of a line cut at the line buffer's end.
// And no line that names a safe, fitting entry may be lost. The depth of
// every full name is that of a model that splits it by character.
//
// Each input runs twice: with single-byte characters, and with the lead
// bytes of code page 932, where a trail byte may be '\\' (0x5C). There an
// entry must not climb out whether a lead byte takes only a byte that can
// be a trail byte (0x40 and up) or any byte but NUL after it.
#include <stdint.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>

#include <algorithm>
#include <string>
#include <vector>

#include "uninstall/listfile.h"

namespace {

[[noreturn]] void Fail(const char *what, const std::string &detail)
{
    fprintf(stderr, "list invariant broken: %s: \"%s\"\n", what, detail.c_str());
    abort();
}

bool IsSeparator(char c) { return c == '\\' || c == '/'; }

bool Lead932(unsigned char b) { return (b >= 0x81 && b <= 0x9F) || (b >= 0xE0 && b <= 0xFC); }

enum Reading { SINGLE_BYTE, PAIRS_WITH_TRAIL_BYTES, PAIRS_WITH_ANY_BYTE };

// The length of the character at entry[at] in the given reading.
size_t CharLength(const std::string &entry, size_t at, Reading reading)
{
    if (reading == SINGLE_BYTE || at + 1 >= entry.size() || !Lead932((unsigned char)entry[at]))
        return 1;
    unsigned char next = (unsigned char)entry[at + 1];
    return next != 0 && (reading == PAIRS_WITH_ANY_BYTE || next >= 0x40) ? 2 : 1;
}

// Written apart from IsTraversalEntry on purpose: split into components
// first, then judge each one.
bool ClimbsOut(const std::string &entry, Reading reading)
{
    size_t start = 0;
    while (start <= entry.size()) {
        size_t end = start;
        while (end < entry.size() && !IsSeparator(entry[end]))
            end += CharLength(entry, end, reading);
        end = std::min(end, entry.size());
        std::string part = entry.substr(start, end - start);
        if (part.find_first_not_of(". ") == std::string::npos &&
            std::count(part.begin(), part.end(), '.') >= 2)
            return true;
        start = end + 1;
    }
    return false;
}

// The separators with a name after them, by character.
int Depth(const std::string &name, Reading reading)
{
    int depth = 0;
    for (size_t at = 0; at < name.size(); at += CharLength(name, at, reading))
        depth += IsSeparator(name[at]) && at + 1 < name.size() && !IsSeparator(name[at + 1]);
    return depth;
}

std::string Trimmed(std::string line)
{
    while (!line.empty()) {
        unsigned char c = (unsigned char)line.back();
        if (c == 0 || (c > 32 && c != 127))
            break;
        line.pop_back();
    }
    return line;
}

// What a line of the list must give: an entry that must come, or nothing.
struct Line {
    std::string entry;
    bool yields;
};

// The longest line the reader takes, without its LF: anything longer is
// skipped whole, whatever trimming would leave of it.
const size_t kLongestLine = LIST_LINE_SIZE - 1;

std::vector<Line> Model(const std::string &list, const std::string &prefix, Reading reading)
{
    std::vector<Line> lines;
    size_t start = 0;
    while (start < list.size()) {
        size_t end = list.find('\n', start);
        if (end == std::string::npos)
            end = list.size();
        std::string raw = list.substr(start, end - start);
        std::string entry = Trimmed(raw);
        bool yields = raw.size() <= kLongestLine && raw.find('\0') == std::string::npos &&
                      !entry.empty() && !ClimbsOut(entry, reading) &&
                      prefix.size() + entry.size() <= MAX_PATH - 1;
        lines.push_back({entry, yields});
        start = end + 1;
    }
    return lines;
}

void CheckList(const std::string &folder, const std::string &list, Reading reading)
{
    SetLeadByteRule(reading == SINGLE_BYTE ? NULL : Lead932);

    // The driver's prefix: the install folder (at most 259 characters, as
    // the system reports it) with a backslash added when missing.
    char prefix[MAX_PATH + 1];
    CopyText(prefix, MAX_PATH - 1, folder.c_str());
    AddBackslash(prefix);
    std::string prefixText = prefix;

    // fmemopen cannot open an empty buffer; a one-byte buffer read as
    // zero bytes ("r" mode, size 0 is refused on older C libraries) would
    // differ, so an empty list goes through a temporary file.
    FILE *file = list.empty() ? tmpfile() : fmemopen((void *)list.data(), list.size(), "rb");
    if (file == NULL)
        return;

    std::vector<Line> model = Model(list, prefixText, reading);
    size_t next = 0;
    char *fullName = new char[MAX_PATH];
    while (ReadListEntry(file, prefixText.c_str(), fullName)) {
        if (memchr(fullName, '\0', MAX_PATH) == NULL)
            Fail("unterminated name", std::string(fullName, MAX_PATH));
        std::string name = fullName;
        if (name.size() > MAX_PATH - 1)
            Fail("name longer than 259 characters", name);
        if (name.compare(0, prefixText.size(), prefixText) != 0)
            Fail("name outside the prefix", name);
        std::string entry = name.substr(prefixText.size());
        if (ClimbsOut(entry, reading) || (reading != SINGLE_BYTE && ClimbsOut(entry, PAIRS_WITH_ANY_BYTE)))
            Fail("entry leaves the install folder", entry);
        if (EntryDepth(fullName) != Depth(name, reading))
            Fail("depth miscounted", name);
        // The next line that must yield, or a line of exactly this text
        // that may not, in list order.
        while (next < model.size() && !model[next].yields)
            next++;
        if (next == model.size() || model[next].entry != entry)
            Fail("entry that is not the next whole line", entry);
        next++;
    }
    while (next < model.size()) {
        if (model[next].yields)
            Fail("line lost", model[next].entry);
        next++;
    }
    delete[] fullName;
    fclose(file);
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    const char *bytes = (const char *)data;
    size_t cut = 0;
    while (cut < size && bytes[cut] != '\n' && bytes[cut] != '\0')
        cut++;
    std::string folder(bytes, cut);
    std::string list = cut < size ? std::string(bytes + cut + 1, size - cut - 1) : std::string();
    CheckList(folder, list, SINGLE_BYTE);
    CheckList(folder, list, PAIRS_WITH_TRAIL_BYTES);
    return 0;
}
