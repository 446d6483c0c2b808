#pragma once

// Shared by the fuzz targets: a property check that stops the run with a message (libFuzzer keeps the
// input that did it), and a scratch folder for targets that need real files.

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#define FUZZ_CHECK(cond, ...)                                                                                \
    do {                                                                                                     \
        if (!(cond)) {                                                                                       \
            ::fuzz::Fail(__FILE__, __LINE__, #cond, __VA_ARGS__);                                            \
        }                                                                                                    \
    } while (0)

namespace fuzz {

// Reports a failed property through the sanitizers' report channel (which libFuzzer keeps open when it closes
// the target's standard error) and aborts, so that libFuzzer keeps the input.
[[noreturn]] void Fail(const char* file, int line, const char* cond, const char* format, ...)
    __attribute__((format(printf, 4, 5)));

// True when KAVO_FUZZ_KNOWN_FAULTS=1: the targets then also check the properties that the current code is
// known to break (each target's comment says which), so that a mend can be confirmed.
bool CheckKnownFaults();

// A new folder under $TMPDIR (default /tmp), removed when the run ends normally.
std::string MakeScratchDir(const char* name);
// Removes path and everything below it, without following links.
void RemoveTree(const std::string& path);
// Creates or replaces path with exactly these bytes; aborts when it can't (the target can't work then).
void WriteFile(const std::string& path, const std::uint8_t* data, std::size_t size);
// The same for a file the input names: false when it can't be written (no folder, a folder in the way).
bool TryWriteFile(const std::string& path, const std::uint8_t* data, std::size_t size);
// Splits data at NUL bytes into at most maxParts pieces (a trailing NUL ends the last piece).
std::vector<std::string> SplitAtNul(const std::uint8_t* data, std::size_t size, std::size_t maxParts);

} // namespace fuzz
