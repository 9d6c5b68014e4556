// Fuzz target: the cleanup script from three paths and a platform id.
//
// Input: byte 0 the platform id; byte 1 picks the buffer size (even: the
// program's SCRIPT_TEXT_SIZE, odd: the script's own length moved by the
// signed byte 2, to probe the edge where it just fits); then the program
// path, the install folder and the script path, separated by NUL bytes;
// anything after the script path's NUL is the script's own folder.
//
// The composed text must be exactly the script with each path in its place
// and every '%' of a path doubled, terminated inside its buffer; when it does
// not fit, the result is 0 and an empty buffer, and only then.
#include <stdint.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>

#include <algorithm>
#include <string>

#include "uninstall/script_text.h"

namespace {

[[noreturn]] void Fail(const char *what, const std::string &detail)
{
    fprintf(stderr, "script invariant broken: %s\n%s\n", what, detail.c_str());
    abort();
}

std::string Doubled(const std::string &path)
{
    std::string out;
    for (char c : path) {
        out += c;
        if (c == '%')
            out += '%';
    }
    return out;
}

// The script, byte for byte, as the command interpreter must read it.
std::string Expected(int platformId, const std::string &p, const std::string &f,
                     const std::string &s, const std::string *own)
{
    const std::string q = "\"", P = Doubled(p), F = Doubled(f), S = Doubled(s);
    std::string text = platformId == 1 ? "start /wait " + q + P + q + " /wait\r\n"
                                       : q + P + q + " /wait\r\n";
    for (int i = 0; i < 5; i++) {
        text += "del " + q + P + q + "\r\n";
        text += "rd " + q + F + q + "\r\n";
        text += "if not exist " + q + P + q + " goto done\r\n";
    }
    text += ":done\r\n";
    text += "if exist " + q + P + q + " " + q + P + q + " /warning\r\n";
    text += "del " + q + S + q;
    if (own)
        text += " & rd " + q + Doubled(*own) + q;
    return text;
}

std::string Next(const char *&at, const char *end)
{
    const char *stop = std::find(at, end, '\0');
    std::string part(at, stop);
    at = stop < end ? stop + 1 : end;
    return part;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    if (size < 3)
        return 0;
    int platformId = data[0];
    bool nearEdge = data[1] & 1;
    int shift = (int8_t)data[2];
    const char *at = (const char *)data + 3, *end = (const char *)data + size;
    std::string p = Next(at, end), f = Next(at, end), s = Next(at, end);
    bool hasOwn = at < end;
    std::string own = Next(at, end);

    std::string expected = Expected(platformId, p, f, s, hasOwn ? &own : nullptr);
    size_t bufferSize = SCRIPT_TEXT_SIZE;
    if (nearEdge)
        bufferSize = (size_t)std::max<long>(0, (long)expected.size() + shift);

    // Exactly bufferSize bytes, so that a byte written past the end is seen.
    char *buffer = new char[bufferSize];
    memset(buffer, '#', bufferSize);
    size_t n = ComposeCleanupScript(buffer, bufferSize, platformId, p.c_str(), f.c_str(), s.c_str(),
                                    hasOwn ? own.c_str() : nullptr);

    if (bufferSize > 0 && memchr(buffer, '\0', bufferSize) == NULL)
        Fail("unterminated text", std::to_string(bufferSize));
    if (expected.size() < bufferSize) {
        if (n != expected.size() || std::string(buffer, strlen(buffer)) != expected)
            Fail("text differs from the script", std::string(buffer, strnlen(buffer, bufferSize)));
        size_t percents = std::count(p.begin(), p.end(), '%') * 13 + std::count(f.begin(), f.end(), '%') * 5 +
                          std::count(s.begin(), s.end(), '%') + std::count(own.begin(), own.end(), '%');
        if ((size_t)std::count(buffer, buffer + n, '%') != 2 * percents)
            Fail("a '%' of a path not doubled", buffer);
    } else {
        if (n != 0)
            Fail("text reported as fitting that cannot fit", std::to_string(n));
        if (bufferSize > 0 && buffer[0] != '\0')
            Fail("text left behind after a refusal", std::string(buffer, strnlen(buffer, bufferSize)));
    }
    delete[] buffer;
    return 0;
}
