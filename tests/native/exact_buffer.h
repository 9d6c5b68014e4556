// A heap buffer of exactly the size under test: AddressSanitizer reports
// a write or read even one byte past its end, which a larger stack array
// would hide.
#ifndef MELVOX_EXACT_BUFFER_H
#define MELVOX_EXACT_BUFFER_H

#include <stddef.h>
#include <string.h>

#include <memory>
#include <string>

struct ExactBuffer {
    explicit ExactBuffer(size_t size, char fill = '#')
        : size(size), bytes(new char[size])
    {
        memset(bytes.get(), fill, size);
    }
    char *get() { return bytes.get(); }
    // The text up to its terminator, which must lie inside the buffer.
    bool Terminated() const { return memchr(bytes.get(), '\0', size) != nullptr; }
    std::string Text() const { return std::string(bytes.get(), strnlen(bytes.get(), size)); }

    size_t size;
    std::unique_ptr<char[]> bytes;
};

#endif
