#pragma once

// What the fuzz targets share: checks that end the process with a message
// (libFuzzer then keeps the input as a finding, and the corpus replay fails),
// a quiet Qt, and a scratch folder for the files a target writes.

#include <QString>

// Stops the process when `condition` does not hold. Meant for cheap
// invariants: a property any input must keep, not an expected output.
#define FUZZ_CHECK(condition)                                                                                          \
    do {                                                                                                               \
        if (!(condition))                                                                                              \
            fuzzCheckFailed(#condition, __FILE__, __LINE__, QString());                                                \
    } while (false)

// The same, with a word on what was being checked.
#define FUZZ_CHECK_MESSAGE(condition, message)                                                                         \
    do {                                                                                                               \
        if (!(condition))                                                                                              \
            fuzzCheckFailed(#condition, __FILE__, __LINE__, (message));                                                \
    } while (false)

[[noreturn]] void fuzzCheckFailed(const char *condition, const char *file, int line, const QString &message);

// Drops Qt's warnings, which hostile input produces by the thousand; a
// fatal message still ends the process. Safe to call on every input.
void quietQt();

// A template for QTemporaryDir below /dev/shm when it exists: targets that
// write files on every input should not wait for a disk.
QString scratchTemplate();
